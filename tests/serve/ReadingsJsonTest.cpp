// /api/v1/readings: the last scan's fields exactly as the JSON Lines of a
// watch give them, with the link, the counters and the settings around them.
#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>

#include "formats/RecordFormat.h"
#include "serve/ReadingsJson.h"
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

}  // namespace
