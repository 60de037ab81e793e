// /api/v1/readings: the last scan's fields exactly as the JSON Lines of a
// watch give them, with the link, the counters and the settings around them.
#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>

#include "formats/RecordFormat.h"
#include "serve/ReadingsJson.h"
#include "serve/ServeState.h"
#include "tests/serve/ServeRecords.h"
#include "tests/support/TextParsers.h"

namespace {

using nlohmann::json;

class ReadingsJsonTest : public ::testing::Test {
protected:
    void SetUp() override {
        setenv("TZ", "CST-8", 1);
        tzset();
    }
    void TearDown() override {
        unsetenv("TZ");
        tzset();
    }
};

TEST_F(ReadingsJsonTest, HoldsTheLastScanTheLinkAndTheCounters) {
    const ServeSnapshot s = Answering();
    const std::string text = ReadingsJson(s);
    EXPECT_EQ(text.find('\n'), std::string::npos);
    const json object = json::parse(text);
    const json record = json::parse(JsonLine(s.last));
    for (const auto& [key, value] : record.items()) {
        EXPECT_EQ(object.at(key), value) << key;
    }
    EXPECT_EQ(object["time"], "2026-12-08T01:44:55.123+08:00");
    EXPECT_EQ(object["values"].size(), 24u);
    EXPECT_EQ(object["link"], json({{"state", "answering"},
                                    {"since", "2026-12-08T01:44:25.123+08:00"},
                                    {"finding", nullptr},
                                    {"diagnosis", nullptr}}));
    EXPECT_EQ(object["port"], "tcp://[::1]:4001");
    EXPECT_EQ(object["slave"], 7);
    EXPECT_EQ(object["interval_s"], 0.5);
    EXPECT_EQ(object["wait_ms"], 800);
    EXPECT_EQ(object["history_s"], 5400);  // what the page keeps of its trend
    EXPECT_EQ(object["commands"], json({{"allowed", true}, {"token", false}}));
    const json& counters = object["counters"];
    EXPECT_EQ(counters["scans"], 12);
    EXPECT_EQ(counters["failed"], 3);
    EXPECT_EQ(counters["missed"], 1);
    EXPECT_EQ(counters["sent"], 9);
    EXPECT_EQ(counters["replies"], 5);
    EXPECT_EQ(counters["exceptions"], 1);
    EXPECT_EQ(counters["failures"].size(), 10u);
    EXPECT_EQ(counters["failures"]["nothing"], 2);
    EXPECT_EQ(counters["failures"]["peer-closed"], 0);
    EXPECT_EQ(counters["failures"]["other-transaction"], 2);
    EXPECT_EQ(counters["response_ms"], json({{"min", 4.0}, {"mean", 2009.3}, {"max", 12000.0}}));
    EXPECT_EQ(object["last_good_scan"], "2026-12-08T01:44:55.123+08:00");
    EXPECT_EQ(object["version"], "1.4.0");
}

// Before the first scan, and with the port lost after a failure: the nulls
// and the link's words, read by Python's json module.
TEST_F(ReadingsJsonTest, ReadsBackWithPythonJsonInEveryState) {
    ServeSnapshot starting;
    ServeSnapshot lost = Answering();
    lost.last = Failed(kScanTime, "nothing", "no byte came back");
    lost.state = LinkState::PortLost;
    lost.finding = "port-lost";
    lost.diagnosis = "the port \"COM3\" went away";
    const std::string text = ReadingsJson(starting) + "\n" + ReadingsJson(lost) + "\n";
    const json objects = ParseWithPython(R"(
import json, sys
with open(sys.argv[1], encoding='utf-8', errors='strict') as f:
    print(json.dumps([json.loads(line) for line in f]))
)",
                                         text);
    ASSERT_EQ(objects.size(), 2u);
    const json& first = objects[0];
    EXPECT_EQ(first["time"], nullptr);
    EXPECT_EQ(first["outcome"], nullptr);
    EXPECT_EQ(first["values"], json::array());
    EXPECT_EQ(first["link"], json({{"state", "starting"},
                                   {"since", nullptr},
                                   {"finding", nullptr},
                                   {"diagnosis", nullptr}}));
    EXPECT_EQ(first["last_good_scan"], nullptr);
    EXPECT_EQ(first["counters"]["response_ms"],
              json({{"min", nullptr}, {"mean", nullptr}, {"max", nullptr}}));
    const json& second = objects[1];
    EXPECT_EQ(second["outcome"], "timeout");
    EXPECT_EQ(second["diagnosis"], json({{"finding", "nothing"}, {"text", "no byte came back"}}));
    EXPECT_EQ(second["link"]["state"], "port-lost");
    EXPECT_EQ(second["link"]["finding"], "port-lost");
    EXPECT_EQ(second["link"]["diagnosis"], "the port \"COM3\" went away");
}

// The active alarms, critical first, each since the first scan that saw it:
// kept while scans fail, ended by a reply that shows it cleared; none known
// (null) from a failed scan.
TEST_F(ReadingsJsonTest, ListsTheActiveAlarmsSinceTheirFirstScan) {
    UnitLink link{"/dev/null", LineSettings{}, 1, 1500, nullptr};
    ServeState state(link, ServeSnapshot{}, std::chrono::hours(1));
    const auto at = [](int s) { return kScanTime + std::chrono::seconds(s); };
    struct Step {
        ReadRecord scan;
        json alarms;  // id: since
    };
    const Step steps[] = {
        {AllReply(at(0), 0x4006), {{"ac_power_failure", "2026-12-08T01:44:55.123+08:00"},
                                   {"insulation_drop", "2026-12-08T01:44:55.123+08:00"}}},
        {Failed(at(1), "nothing", "no byte came back"), nullptr},
        {AllReply(at(2), 0x4002), {{"ac_power_failure", "2026-12-08T01:44:55.123+08:00"}}},
        {AllReply(at(3), 0x0006), {{"insulation_drop", "2026-12-08T01:44:58.123+08:00"}}},
    };
    const std::vector<std::string> order[] = {
        {"ac_power_failure", "insulation_drop"}, {}, {"ac_power_failure"}, {"insulation_drop"}};
    ScanStatus status;
    for (std::size_t i = 0; i < std::size(steps); ++i) {
        state.OnScan(steps[i].scan, status);
        const json alarms = json::parse(ReadingsJson(state.Snapshot()))["alarms"];
        if (steps[i].alarms.is_null()) {
            EXPECT_EQ(alarms, nullptr);
            continue;
        }
        json seen = json::object();
        std::vector<std::string> ids;  // critical first
        for (const json& a : alarms) {
            seen[a["id"].get<std::string>()] = a["since"];
            ids.push_back(a["id"]);
        }
        EXPECT_EQ(seen, steps[i].alarms) << i;
        EXPECT_EQ(ids, order[i]) << i;
    }
    const json last = json::parse(ReadingsJson(state.Snapshot()))["alarms"][0];
    EXPECT_EQ(last, json({{"id", "insulation_drop"},
                          {"name", "系统绝缘下降"},
                          {"name_en", "Insulation drop"},
                          {"severity", "warning"},
                          {"since", "2026-12-08T01:44:58.123+08:00"}}));
}

}  // namespace
