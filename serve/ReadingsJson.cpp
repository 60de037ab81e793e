#include "serve/ReadingsJson.h"

#include <chrono>
#include <cmath>
#include <ctime>

#include <nlohmann/json.hpp>

#include "formats/RecordFormat.h"
#include "master/LocalTime.h"
#include "unit/Alarms.h"

namespace {

using json = nlohmann::ordered_json;

json TextOrNull(const std::string& text) {
    return text.empty() ? json(nullptr) : json(text);
}

// Tenths of a millisecond, as the counters and the records show them.
json Ms(double ms) {
    return std::round(ms * 10) / 10;
}

json Counters(const ServeSnapshot& s) {
    const LinkCounters& c = s.counters;
    json failures = json::object();
    for (const FailureCount& f : c.Failures()) {
        failures[f.kind] = f.count;
    }
    json times = {{"min", nullptr}, {"mean", nullptr}, {"max", nullptr}};
    if (const auto spread = c.Response()) {
        times = {
            {"min", Ms(spread->minMs)}, {"mean", Ms(spread->meanMs)}, {"max", Ms(spread->maxMs)}};
    }
    return {{"scans", s.scans},
            {"failed", s.failedScans},
            {"missed", s.missedScans},
            {"sent", c.Sent()},
            {"replies", c.Count(LineFinding::Answered)},
            {"exceptions", c.Count(LineFinding::Exception)},
            {"failures", std::move(failures)},
            {"response_ms", std::move(times)}};
}

// The zone's abbreviation then ("CST", "CET"), or "" where the system has none.
std::string ZoneName(std::chrono::system_clock::time_point time) {
    std::tm local{};
    LocalTimeAndOffset(std::chrono::system_clock::to_time_t(time), local);
    char name[64] = "";
    std::strftime(name, sizeof name, "%Z", &local);
    return name;
}

// The alarms the last scan raised, critical first, each with the first scan
// that saw it; null unless the last scan got a reply (nothing is known then).
json Alarms(const ServeSnapshot& s) {
    if (!s.anyScan || s.last.outcome != ReadOutcome::Reply) {
        return nullptr;
    }
    json list = json::array();
    for (const RaisedAlarm& a : RaisedAlarms(s.last.values)) {
        const auto since = s.alarmSince.find(a.meaning->bit);
        list.push_back({{"id", a.meaning->id},
                        {"name", a.name},
                        {"name_en", a.meaning->englishName},
                        {"severity", SeverityWord(a.meaning->severity)},
                        {"since", since == s.alarmSince.end() ? json(nullptr)
                                                              : json(Iso8601Local(since->second))}});
    }
    return list;
}

}  // namespace

std::string ReadingsJson(const ServeSnapshot& s) {
    // The record's fields exactly as the JSON Lines of a watch give them.
    json object = json::parse(JsonLine(s.last));
    if (!s.anyScan) {
        object["time"] = nullptr;
        object["outcome"] = nullptr;
    }
    const bool starting = s.state == LinkState::Starting;
    object["link"] = {{"state", LinkStateWord(s.state)},
                      {"since", starting ? json(nullptr) : json(Iso8601Local(s.stateSince))},
                      {"finding", TextOrNull(s.finding)},
                      {"diagnosis", TextOrNull(s.diagnosis)}};
    object["alarms"] = Alarms(s);
    object["port"] = s.port;
    object["slave"] = s.slave;
    object["interval_s"] = s.intervalSeconds;
    object["wait_ms"] = s.waitMs;
    object["history_s"] = s.historySeconds;
    object["commands"] = {{"allowed", s.commandsAllowed}, {"token", s.commandsNeedToken}};
    object["counters"] = Counters(s);
    object["last_good_scan"] = s.lastGoodScan ? json(Iso8601Local(*s.lastGoodScan)) : json(nullptr);
    object["version"] = s.version;
    // The server's clock and zone when this was made: the page's reference
    // for ages and for "new", and the zone it names its times in.
    const auto now = std::chrono::system_clock::now();
    object["server_time"] = Iso8601Local(now);
    object["zone"] = ZoneName(now);
    return object.dump(-1, ' ', false, json::error_handler_t::replace);
}

std::string BitMeaningsJson() {
    json list = json::array();
    for (const BitMeaning& m : BitMeanings()) {
        const bool alarm = m.kind == BitKind::Alarm;
        list.push_back({{"bit", m.bit},
                        {"kind", alarm ? "alarm" : "mode"},
                        {"id", m.id},
                        {"name_en", m.englishName},
                        {"states", {m.states[0], m.states[1]}},
                        {"raises", alarm ? json(m.raisingValue) : json(nullptr)},
                        {"severity", alarm ? json(SeverityWord(m.severity)) : json(nullptr)}});
    }
    return list.dump();
}
