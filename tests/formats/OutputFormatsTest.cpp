// CSV, JSON Lines and the Prometheus text, each read back by an independent
// parser (Python's csv and json modules, the Prometheus client's parser); the
// parsed cells are compared with the record they came from.
#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <string>
#include <vector>

#include "formats/DisplayWidth.h"
#include "formats/PrometheusText.h"
#include "formats/RecordFormat.h"
#include "tests/support/TextParsers.h"

namespace {

using nlohmann::json;
using Clock = std::chrono::system_clock;

// The table's unit column is "V" throughout, as the unit's documentation has
// it for currents too; the outputs must give the physical unit.
SignalReading Analog(int reg, std::string name, double value, std::string text, std::string unit) {
    return {reg, true, std::move(name), value, std::move(text), "V", std::move(unit)};
}

SignalReading Bit(int bit, std::string name, int value, std::string legend) {
    return {bit, false, std::move(name), double(value), std::to_string(value), std::move(legend),
            ""};
}

// Names that need CSV quoting and Prometheus label escaping.
std::vector<SignalReading> Columns() {
    return {Analog(100, "交流电压", 220.0, "220.0", "V"),
            Analog(101, "电池组电流, \"总\"", -12.3, "-12.3", "A"),
            Analog(102, "母线\\电压\n", 53.5, "53.5", "V"),
            Bit(0, "手动/自动", 1, "0：自动，1：手动")};
}

const Clock::time_point kTime = Clock::time_point(std::chrono::milliseconds(1796665495123));

std::vector<ReadRecord> Records() {
    ReadRecord reply{kTime, ReadOutcome::Reply, 0, "", Columns(), "", "", 12.345};
    ReadRecord timeout{
        kTime + std::chrono::seconds(1),          ReadOutcome::Timeout, 0, "", {}, "echo-only",
        "only the echo of the request came back", std::nullopt};
    ReadRecord exception{kTime + std::chrono::seconds(2),
                         ReadOutcome::Exception,
                         0x02,
                         "非法数据地址",
                         {},
                         "",
                         "",
                         std::nullopt};
    return {reply, timeout, exception};
}

class TimeZone : public ::testing::Test {
protected:
    // POSIX zone strings, which need no zone database: one east of UTC, one a
    // half hour west.
    void Use(const char* tz) {
        setenv("TZ", tz, 1);
        tzset();
    }
    void TearDown() override {
        unsetenv("TZ");
        tzset();
    }
};

using OutputFormats = TimeZone;

TEST_F(OutputFormats, CsvReadsBackWithPythonCsv) {
    Use("CST-8");
    std::string text = CsvHeader(Columns());
    for (const ReadRecord& r : Records()) {
        text += CsvRow(r, Columns());
    }
    ASSERT_NE(text.find("\r\n"), std::string::npos);
    const json rows = ParseWithPython(R"(
import csv, datetime, json, sys
with open(sys.argv[1], newline='', encoding='utf-8', errors='strict') as f:
    rows = list(csv.reader(f, strict=True))
for row in rows[1:]:
    row[0] = round(datetime.datetime.fromisoformat(row[0]).timestamp() * 1000)
print(json.dumps(rows))
)",
                                      text);
    ASSERT_EQ(rows.size(), 4u);
    EXPECT_EQ(rows[0], json({"time", "outcome", "exception", "交流电压", "电池组电流, \"总\"",
                             "母线\\电压\n", "手动/自动"}));
    EXPECT_EQ(rows[1], json({1796665495123, "reply", "", "220.0", "-12.3", "53.5", "1"}));
    EXPECT_EQ(rows[2], json({1796665496123, "timeout", "", "", "", "", ""}));
    EXPECT_EQ(rows[3], json({1796665497123, "exception", "02 illegal data address (非法数据地址)", "", "", "", ""}));
}

TEST_F(OutputFormats, JsonLinesReadBackWithPythonJson) {
    Use("XST+3:30");
    std::string text;
    for (const ReadRecord& r : Records()) {
        text += JsonLine(r);
    }
    const json records = ParseWithPython(R"(
import datetime, json, sys
records = []
with open(sys.argv[1], encoding='utf-8', errors='strict') as f:
    for line in f:
        r = json.loads(line)
        t = datetime.datetime.fromisoformat(r['time'])
        r['offset'] = t.utcoffset().total_seconds()
        r['time'] = round(t.timestamp() * 1000)
        records.append(r)
print(json.dumps(records))
)",
                                         text);
    ASSERT_EQ(records.size(), 3u);
    EXPECT_EQ(records[0]["time"], 1796665495123);
    EXPECT_EQ(records[0]["offset"], -3.5 * 3600);
    EXPECT_EQ(records[0]["outcome"], "reply");
    EXPECT_EQ(records[0]["response_ms"], 12.3);
    EXPECT_TRUE(records[1]["response_ms"].is_null());
    EXPECT_EQ(records[2]["response_ms"], nullptr);
    EXPECT_FALSE(records[0].contains("exception"));
    const json& values = records[0]["values"];
    ASSERT_EQ(values.size(), 4u);
    EXPECT_EQ(
        values[1],
        json({{"register", 101}, {"name", "电池组电流, \"总\""}, {"value", -12.3}, {"unit", "A"}}));
    EXPECT_TRUE(values[0]["value"].is_number_float());
    EXPECT_EQ(values[3], json({{"register", 0},
                               {"name", "手动/自动"},
                               {"value", 1},
                               {"legend", "0：自动，1：手动"}}));
    EXPECT_EQ(records[1]["outcome"], "timeout");
    EXPECT_EQ(records[1]["values"], json::array());
    EXPECT_EQ(records[1]["diagnosis"]["finding"], "echo-only");
    EXPECT_FALSE(records[0].contains("diagnosis"));
    EXPECT_EQ(records[2]["outcome"], "exception");
    EXPECT_EQ(records[2]["exception"], json({{"code", 2}, {"name", "非法数据地址"}, {"name_en", "illegal data address"}}));
}

TEST(PrometheusText, ReadsBackWithThePrometheusParser) {
    const ReadRecord last = Records()[0];
    const json samples = ParseWithPython(
        kPrometheusParser, PrometheusText(last, Columns(), {"tcp://[::1]:4001", 7, 10, 3}));
    ASSERT_EQ(samples.size(), 7u);
    const json target = {{"port", "tcp://[::1]:4001"}, {"slave", "7"}};
    EXPECT_EQ(samples[0], json({"k40_up", "gauge", "k40_up", target, 1.0}));
    json labels = target;
    labels.update({{"name", "交流电压"}, {"register", "100"}, {"unit", "V"}});
    EXPECT_EQ(samples[1], json({"k40_analog_value", "gauge", "k40_analog_value", labels, 220.0}));
    EXPECT_EQ(samples[2][3]["name"], "电池组电流, \"总\"");
    EXPECT_EQ(samples[2][3]["unit"], "A");
    EXPECT_EQ(samples[2][4], -12.3);
    EXPECT_EQ(samples[3][3]["name"], "母线\\电压\n");
    labels = target;
    labels.update({{"name", "手动/自动"}, {"bit", "0"}, {"legend", "0：自动，1：手动"}});
    EXPECT_EQ(samples[4], json({"k40_status_bit", "gauge", "k40_status_bit", labels, 1.0}));
    EXPECT_EQ(samples[5],
              json({"k40_scans_failed", "counter", "k40_scans_failed_total", target, 3.0}));
    EXPECT_EQ(samples[6], json({"k40_scans", "counter", "k40_scans_total", target, 10.0}));
}

TEST(PrometheusText, AFailedScanPublishesOnlyTheCountersAndDown) {
    const json samples = ParseWithPython(
        kPrometheusParser, PrometheusText(Records()[1], Columns(), {"/dev/ttyUSB0", 1, 11, 4}));
    ASSERT_EQ(samples.size(), 3u);
    EXPECT_EQ(samples[0][2], "k40_up");
    EXPECT_EQ(samples[0][4], 0.0);
    EXPECT_EQ(samples[1][2], "k40_scans_failed_total");
    EXPECT_EQ(samples[1][4], 4.0);
    EXPECT_EQ(samples[2][4], 11.0);
}

// The alarms of a scan: one sample per alarm bit scanned (not for the modes),
// the counts by severity; nothing of them from a scan without a reply.
TEST(PrometheusText, AlarmsFromTheStatusBitsOfAGoodScan) {
    std::vector<SignalReading> bits = {Bit(1, "电池均浮充状态", 1, "0：均充，1：浮充"),
                                       Bit(2, "系统绝缘下降", 1, "0：正常，1：下降"),
                                       Bit(4, "充电模块通讯离线", 0, "0：在线，1：离线"),
                                       Bit(14, "交流停电", 1, "0：正常，1：故障")};
    ReadRecord reply{kTime, ReadOutcome::Reply, 0, "", bits, "", "", 1.0};
    const json samples =
        ParseWithPython(kPrometheusParser, PrometheusText(reply, bits, {"COM1", 1, 1, 0}));
    json alarms = json::object(), active = json::object();
    for (const json& s : samples) {
        if (s[2] == "k40_alarm") {
            EXPECT_EQ(s[1], "gauge");
            alarms[s[3]["alarm"].get<std::string>()] = {s[3]["severity"], s[3]["name"], s[4]};
        } else if (s[2] == "k40_alarms_active") {
            active[s[3]["severity"].get<std::string>()] = s[4];
            EXPECT_EQ(s[3]["port"], "COM1");
        }
    }
    EXPECT_EQ(alarms, json({{"insulation_drop", {"warning", "系统绝缘下降", 1.0}},
                            {"module_comm_offline", {"warning", "充电模块通讯离线", 0.0}},
                            {"ac_power_failure", {"critical", "交流停电", 1.0}}}));
    EXPECT_EQ(active, json({{"critical", 1.0}, {"warning", 1.0}}));

    ReadRecord timeout = Records()[1];
    const std::string failed = PrometheusText(timeout, bits, {"COM1", 1, 2, 1});
    EXPECT_EQ(failed.find("k40_alarm"), std::string::npos) << failed;
    // The table says a raised alarm in words on its line; a mode never.
    const std::string table = FormatTable(reply);
    for (const auto& [name, word] : std::vector<std::pair<std::string, std::string>>{
             {"电池均浮充状态", ""}, {"系统绝缘下降", "  ALARM warning"},
             {"充电模块通讯离线", ""}, {"交流停电", "  ALARM critical"}}) {
        const std::size_t at = table.find(name);
        ASSERT_NE(at, std::string::npos) << table;
        const std::string line = table.substr(at, table.find('\n', at) - at);
        EXPECT_EQ(line.size() >= word.size() && line.compare(line.size() - word.size(),
                                                             word.size(), word) == 0 &&
                      (word.empty() == (line.find("ALARM") == std::string::npos)),
                  true)
            << line;
    }
}

TEST(FormatTable, AlignsTheValueColumnAndReportsOutcomes) {
    ReadRecord record = Records()[0];
    record.values[2].name = "母线电压";  // a line break in a name would end the line
    const std::string table = FormatTable(record);
    // Every line's value ends in the same display column: the names are of
    // different widths, Chinese and ASCII.
    std::vector<std::size_t> ends;
    const std::vector<std::string> shown = {"220.0", "-12.3", "53.5", "1"};
    std::size_t start = 0;
    for (const std::string& value : shown) {
        const std::size_t eol = table.find('\n', start);
        ASSERT_NE(eol, std::string::npos);
        // The last line's value is a bit followed by its legend; search from the back.
        const std::string line = table.substr(start, eol - start);
        const std::size_t at = line.rfind("  " + value);
        ASSERT_NE(at, std::string::npos) << line;
        ends.push_back(DisplayWidth(line.substr(0, at + 2 + value.size())));
        start = eol + 1;
    }
    EXPECT_EQ(start, table.size());
    for (std::size_t end : ends) {
        EXPECT_EQ(end, ends[0]) << table;
    }
    EXPECT_NE(table.find("-12.3  A\n"), std::string::npos) << table;  // not the table's "V"
    EXPECT_EQ(FormatTable(Records()[1]), "no reply\n");
    EXPECT_EQ(FormatTable(Records()[2]), "exception 02 illegal data address (非法数据地址)\n");
}

}  // namespace
