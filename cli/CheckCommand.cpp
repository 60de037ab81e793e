#include "cli/CheckCommand.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <map>

#include <nlohmann/json.hpp>

#include "cli/CheckVerdict.h"
#include "cli/HttpGet.h"
#include "master/ScanScope.h"
#include "master/UnitLink.h"

const char kCheckHelp[] =
    "Checking (k40ctl [--port P] check, for Nagios and Icinga):\n"
    "  One read of the unit (or --serve URL: the state a running serve holds) and\n"
    "  one status line, \"K40 CRITICAL - NAME ac_power_failure, ...\" (NAME: the\n"
    "  alarm's Chinese name), with the nine measurements as performance data\n"
    "  labelled by their English ids, without units (the guidelines allow none\n"
    "  of volts, amperes and degrees). Exit 0 OK, 1\n"
    "  WARNING (a warning alarm, a --warning range crossed), 2 CRITICAL (a\n"
    "  critical alarm, a --critical range crossed, no reply, an exception reply,\n"
    "  serve's unit not answering), 3 UNKNOWN (a bad command line, a port that\n"
    "  cannot be opened, serve unreachable); the worst state wins.\n"
    "    --serve URL          serve's base URL, e.g. http://127.0.0.1:9040\n"
    "    -w, --warning ID=RANGE, -c, --critical ID=RANGE\n"
    "                         repeatable; ID a measurement (ac_voltage_ab, ...,\n"
    "                         battery_room_temperature), RANGE as plugins write them:\n"
    "                         10 (alert outside 0..10), 10: (below 10), ~:10 (above\n"
    "                         10), 10:20 (outside), @10:20 (inside)\n"
    "    -t, --timeout S      seconds for the whole check (default 10)\n"
    "\n";

namespace {

int StateOfRead(const ReadRecord& record) {
    return record.outcome == ReadOutcome::Reply ? kCheckOk : kCheckCritical;
}

// A reading of /api/v1/readings's "values" back as a signal: analog values
// carry a unit, bits a legend.
SignalReading ReadingOf(const nlohmann::json& v) {
    SignalReading r;
    r.analog = v.contains("unit");
    r.reg = v.value("register", -1);
    r.name = v.value("name", "");
    r.value = v.value("value", 0.0);
    r.text = v.contains("value") ? v.at("value").dump() : "";
    if (r.text.find('.') == std::string::npos && r.analog) {
        r.text += ".0";
    }
    return r;
}

CheckVerdict JudgeServe(const std::string& body, const CheckArgs& args) {
    const nlohmann::json answer = nlohmann::json::parse(body, nullptr, false);
    if (answer.is_discarded() || !answer.contains("link") || !answer["link"].is_object()) {
        return PlainVerdict(kCheckUnknown, args.serveUrl + " answered no readings");
    }
    const nlohmann::json& link = answer["link"];
    const std::string state = link.value("state", "");
    if (state == "starting") {
        return PlainVerdict(kCheckUnknown, "serve has made no scan yet");
    }
    const nlohmann::json none;
    const auto field = [&none](const nlohmann::json& object, const char* key) -> const nlohmann::json& {
        return object.contains(key) ? object.at(key) : none;
    };
    if (state != "answering" || !field(answer, "values").is_array()) {
        const std::string why = field(link, "diagnosis").is_string()
                                    ? field(link, "diagnosis").get<std::string>()
                                    : state;
        return PlainVerdict(kCheckCritical, "serve's unit: " + why);
    }
    std::vector<SignalReading> readings;
    for (const nlohmann::json& v : answer.at("values")) {
        readings.push_back(ReadingOf(v));
    }
    std::map<std::string, std::string> since;
    if (field(answer, "alarms").is_array()) {
        for (const nlohmann::json& a : answer.at("alarms")) {
            if (field(a, "since").is_string()) {
                since[a.value("id", "")] = a.at("since").get<std::string>();
            }
        }
    }
    return JudgeReadings(readings, args, since);
}

CheckVerdict CheckByServe(const CheckArgs& args) {
    std::string body, why;
    const auto timeout = std::chrono::milliseconds(static_cast<long long>(args.timeoutSeconds * 1000));
    if (!HttpGet(args.serveUrl, "/api/v1/readings", timeout, &body, &why)) {
        return PlainVerdict(kCheckUnknown, "serve unreachable: " + why);
    }
    try {
        return JudgeServe(body, args);
    } catch (const nlohmann::json::exception& e) {
        return PlainVerdict(kCheckUnknown, args.serveUrl + " answered no readings: " + e.what());
    }
}

CheckVerdict CheckByRead(const CtlOptions& o, UnitLink& link) {
    std::string why;
    if (!link.Open(&why)) {
        return PlainVerdict(kCheckUnknown, why);
    }
    const ReadRecord record = ScanOf(link, ScanScope::All, {});
    if (StateOfRead(record) != kCheckOk) {
        return PlainVerdict(kCheckCritical, o.port + " slave " + std::to_string(o.slave) + ": " +
                                                OutcomeMessage(record, link.WaitMs()));
    }
    return JudgeReadings(record.values, o.check, {});
}

}  // namespace

CLI::App* AddCheckCommand(CLI::App& app, CtlOptions& o) {
    CLI::App* check = app.add_subcommand(
        "check", "a Nagios/Icinga check: alarms and thresholds, exit 0 OK .. 3 UNKNOWN");
    check->add_option("--serve", o.check.serveUrl, "a running serve's URL instead of a read");
    check->add_option("-w,--warning", o.check.warning, "ID=RANGE: WARNING when crossed");
    check->add_option("-c,--critical", o.check.critical, "ID=RANGE: CRITICAL when crossed");
    check->add_option("-t,--timeout", o.check.timeoutSeconds, "seconds for the whole check")
        ->check(CLI::Range(1.0, 3600.0));
    check->get_option("--warning")->multi_option_policy(CLI::MultiOptionPolicy::TakeAll);
    check->get_option("--critical")->multi_option_policy(CLI::MultiOptionPolicy::TakeAll);
    return check;
}

std::string FinishCheckOptions(CtlOptions& o) {
    CheckArgs& c = o.check;
    for (auto [given, parsed] :
         {std::pair{&c.warning, &c.warnings}, std::pair{&c.critical, &c.criticals}}) {
        for (const std::string& text : *given) {
            CheckThreshold t;
            const std::string why = ParseCheckThreshold(text, &t);
            if (!why.empty()) {
                return why;
            }
            parsed->push_back(t);
        }
    }
    if (!c.serveUrl.empty()) {
        return CheckHttpBase(c.serveUrl);
    }
    // A scan is two reads: each may wait a third of the time, so that the
    // check ends within it.
    o.waitMs = std::clamp(static_cast<int>(c.timeoutSeconds * 1000 / 3), 100, o.waitMs);
    return {};
}

int RunCheck(const CtlOptions& o, UnitLink& link) {
    const CheckVerdict v = o.check.serveUrl.empty() ? CheckByRead(o, link) : CheckByServe(o.check);
    std::fputs(v.output.c_str(), stdout);
    std::fflush(stdout);
    return v.state;
}
