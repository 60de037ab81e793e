// /metrics read back by the Prometheus client's parser and checked by
// promtool: the families of the textfile, the histogram, the failure kinds.
#include <gtest/gtest.h>

#include <map>

#include "serve/ExporterText.h"
#include "tests/serve/ServeRecords.h"
#include "tests/support/TextParsers.h"

namespace {

using nlohmann::json;

// promtool's lint finds nothing in the text.
void ExpectPromtoolClean(const std::string& text) {
    const ToolRun run = RunOnText("/usr/bin/promtool check metrics < {}", text);
    EXPECT_EQ(run.status, 0) << run.out << text;
    EXPECT_EQ(run.out, "") << text;
}

// The samples of one sample name: labels (without port and slave) to value.
std::map<json, double> FamilySamples(const json& parsed, const std::string& name) {
    std::map<json, double> samples;
    for (const json& s : parsed) {
        if (s[2] == name) {
            json labels = s[3];
            EXPECT_EQ(labels["port"], "tcp://[::1]:4001");
            EXPECT_EQ(labels["slave"], "7");
            labels.erase("port");
            labels.erase("slave");
            samples[labels] = s[4].get<double>();
        }
    }
    return samples;
}

TEST(ExporterText, PublishesTheLastScanAndTheLinkForPrometheus) {
    const std::string text = ExporterText(Answering());
    ExpectPromtoolClean(text);
    const json parsed = ParseWithPython(kPrometheusParser, text);
    std::map<std::string, std::string> types;
    for (const json& s : parsed) {
        types[s[0]] = s[1];
    }
    const std::map<std::string, std::string> families = {
        {"k40_up", "gauge"},
        {"k40_analog_value", "gauge"},
        {"k40_status_bit", "gauge"},
        {"k40_alarm", "gauge"},
        {"k40_alarms_active", "gauge"},
        {"k40_scan_interval_seconds", "gauge"},
        {"k40_scans_failed", "counter"},
        {"k40_scans", "counter"},
        {"k40_last_scan_timestamp_seconds", "gauge"},
        {"k40_response_seconds", "histogram"},
        {"k40_link_failures", "counter"},
        {"k40_build_info", "gauge"}};
    EXPECT_EQ(types, families);
    EXPECT_EQ(FamilySamples(parsed, "k40_up").at(json::object()), 1.0);
    EXPECT_EQ(FamilySamples(parsed, "k40_analog_value").size(), 9u);
    EXPECT_EQ(FamilySamples(parsed, "k40_status_bit").size(), 15u);
    EXPECT_EQ(FamilySamples(parsed, "k40_alarm").size(), 13u);
    EXPECT_EQ(FamilySamples(parsed, "k40_alarms_active").size(), 2u);
    EXPECT_EQ(FamilySamples(parsed, "k40_last_scan_timestamp_seconds").at(json::object()),
              1796665495.123);

    // Cumulative buckets in seconds, +Inf equal to the count.
    const std::map<json, double> buckets = FamilySamples(parsed, "k40_response_seconds_bucket");
    const std::map<std::string, double> expected = {
        {"0.005", 2}, {"0.01", 4}, {"0.025", 4}, {"0.05", 5}, {"0.1", 5}, {"0.25", 5},
        {"0.5", 5},   {"1", 5},    {"2.5", 5},   {"5", 5},    {"10", 5},  {"+Inf", 6}};
    ASSERT_EQ(buckets.size(), expected.size());
    for (const auto& [le, count] : expected) {
        EXPECT_EQ(buckets.at(json{{"le", le}}), count) << le;
    }
    EXPECT_EQ(FamilySamples(parsed, "k40_response_seconds_count").at(json::object()), 6.0);
    EXPECT_DOUBLE_EQ(FamilySamples(parsed, "k40_response_seconds_sum").at(json::object()), 12.0555);

    const std::map<json, double> failures = FamilySamples(parsed, "k40_link_failures_total");
    EXPECT_EQ(failures.size(), 10u);
    EXPECT_EQ(failures.at(json{{"kind", "nothing"}}), 2.0);
    EXPECT_EQ(failures.at(json{{"kind", "crc-error"}}), 1.0);
    EXPECT_EQ(failures.at(json{{"kind", "echo-only"}}), 0.0);
    EXPECT_EQ(failures.at(json{{"kind", "other-transaction"}}), 2.0);
    for (const json& s : parsed) {
        if (s[2] == "k40_build_info") {
            EXPECT_EQ(s[3], json({{"version", "1.4.0"}}));
            EXPECT_EQ(s[4], 1.0);
        }
    }
}

// No scan yet, a failed scan, a lost port after a reply: k40_up 0 and no
// measurement, whatever the last reply held.
TEST(ExporterText, PublishesNoMeasurementUnlessTheUnitAnswers) {
    ServeSnapshot starting;
    starting.port = "tcp://[::1]:4001";
    starting.slave = 7;
    ServeSnapshot failed = Answering();
    failed.last = Failed(kScanTime + std::chrono::seconds(1), "nothing", "no byte came back");
    failed.state = LinkState::NoReply;
    ServeSnapshot lost = Answering();
    lost.state = LinkState::PortLost;
    for (const ServeSnapshot& s : {starting, failed, lost}) {
        const std::string text = ExporterText(s);
        ExpectPromtoolClean(text);
        const json parsed = ParseWithPython(kPrometheusParser, text);
        EXPECT_EQ(FamilySamples(parsed, "k40_up").at(json::object()), 0.0);
        EXPECT_TRUE(FamilySamples(parsed, "k40_analog_value").empty());
        EXPECT_TRUE(FamilySamples(parsed, "k40_status_bit").empty());
        EXPECT_TRUE(FamilySamples(parsed, "k40_alarm").empty());
        EXPECT_TRUE(FamilySamples(parsed, "k40_alarms_active").empty());
        EXPECT_EQ(FamilySamples(parsed, "k40_last_scan_timestamp_seconds").size(),
                  s.lastGoodScan ? 1u : 0u);
        EXPECT_EQ(FamilySamples(parsed, "k40_link_failures_total").size(), 10u);
        EXPECT_EQ(FamilySamples(parsed, "k40_response_seconds_bucket").size(), 12u);
    }
}

}  // namespace
