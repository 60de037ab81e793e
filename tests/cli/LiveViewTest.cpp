#include "cli/LiveView.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <ctime>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "formats/DisplayWidth.h"
#include "unit/Readings.h"

namespace {

const char* const kNames[] = {"交流电压A",  "交流电压B", "交流电压C",  "母线电压", "负载电流",
                              "电池组电流", "电池温度",  "整流模块数", "Ubat"};

std::vector<SignalReading> Columns() {
    std::vector<SignalReading> columns;
    for (int i = 0; i < 9; ++i) {
        columns.push_back({100 + i, true, kNames[i], 0, "", "V", i == 6 ? "°C" : "V"});
    }
    columns.push_back({0, false, "手动/自动", 0, "", "0：自动，1：手动", ""});
    columns.push_back({1, false, "均充/浮充", 0, "", "0：浮充，1：均充", ""});
    return columns;
}

ReadRecord Scan(double base, int bit0) {
    ReadRecord r;
    r.outcome = ReadOutcome::Reply;
    for (SignalReading c : Columns()) {
        if (c.analog) {
            c.value = base + c.reg - 100;
            std::ostringstream text;
            text.precision(1);
            text << std::fixed << c.value;
            c.text = text.str();
        } else {
            c.value = c.reg == 0 ? bit0 : 0;
            c.text = std::to_string(int(c.value));
        }
        r.values.push_back(c);
    }
    return r;
}

std::vector<std::string> Lines(const std::string& screen) {
    std::vector<std::string> lines;
    std::istringstream in(screen);
    for (std::string line; std::getline(in, line);) {
        lines.push_back(line);
    }
    return lines;
}

std::string Plain(const std::string& text) {
    return std::regex_replace(text, std::regex("\x1b\\[[0-9;]*[A-Za-z]"), "");
}

TEST(LiveView, ShowsNineRowsChangesAndFlippedBits) {
    LiveView view(Columns());
    view.Add(Scan(220.0, 0));
    view.Add(Scan(220.3, 1));
    ReadRecord failed;
    view.Add(failed);  // no reply: the rows keep the last values
    const std::string screen =
        view.Render({3, 1, "no reply within 1500 ms", "avg 41 ms"}, {140, 50}, {});

    EXPECT_EQ(screen.rfind("\x1b[H", 0), 0u);
    const std::vector<std::string> lines = Lines(screen);
    std::vector<std::size_t> valueEnds;
    for (int i = 0; i < 9; ++i) {
        const std::string value = Scan(220.3, 1).values[i].text;
        bool found = false;
        for (const std::string& line : lines) {
            const std::string plain = Plain(line);
            if (plain.find(kNames[i]) == std::string::npos) {
                continue;
            }
            found = true;
            const std::size_t at = plain.find(value);
            ASSERT_NE(at, std::string::npos) << plain;
            valueEnds.push_back(DisplayWidth(plain.substr(0, at + value.size())));
            EXPECT_NE(plain.find("+0.3"), std::string::npos) << plain;
        }
        EXPECT_TRUE(found) << kNames[i];
    }
    ASSERT_EQ(valueEnds.size(), 9u);
    for (std::size_t end : valueEnds) {
        EXPECT_EQ(end, valueEnds[0]) << screen;
    }
    // The flipped bit is marked and in reverse video; the other is not.
    EXPECT_NE(screen.find("\x1b[7m\x1b[2m* 手动/自动"), std::string::npos) << screen;
    EXPECT_NE(Plain(screen).find("stale: no data for"), std::string::npos) << screen;
    EXPECT_EQ(screen.find("* 均充/浮充"), std::string::npos) << screen;
    EXPECT_NE(screen.find("scans 3"), std::string::npos);
    EXPECT_NE(screen.find("failures 1"), std::string::npos);
    EXPECT_NE(screen.find("no reply within 1500 ms"), std::string::npos);
    EXPECT_NE(screen.find("avg 41 ms"), std::string::npos);
}

TEST(LiveView, SparklineKeepsItsHistory) {
    LiveView view(Columns());
    for (std::size_t i = 0; i < LiveView::kHistory + 5; ++i) {
        view.Add(Scan(200.0 + i % 8, 0));
    }
    const std::string screen = view.Render({}, {200, 50}, {});
    const std::vector<std::string> lines = Lines(screen);
    const auto row = std::find_if(lines.begin(), lines.end(), [](const std::string& l) {
        return l.find("母线电压") != std::string::npos;
    });
    ASSERT_NE(row, lines.end());
    std::size_t bars = 0;
    for (const char* bar : {"▁", "▂", "▃", "▄", "▅", "▆", "▇", "█"}) {
        for (std::size_t at = row->find(bar); at != std::string::npos;
             at = row->find(bar, at + 1)) {
            ++bars;
        }
    }
    EXPECT_EQ(bars, LiveView::kHistory);
    // The lowest value of the window is the lowest bar, the highest the full block.
    EXPECT_NE(row->find("▁"), std::string::npos);
    EXPECT_NE(row->find("█"), std::string::npos);
}

// The whole of watch all, with an outage and the longest status, at several
// terminal sizes: never more lines than the terminal has, no line reaching its
// last column (the terminal would wrap it), and a larger terminal used for the
// bits' full legends.
TEST(LiveView, FitsTheTerminalItRunsIn) {
    std::vector<SignalReading> columns = AnalogColumns();
    for (const SignalReading& bit : BitColumns()) {
        columns.push_back(bit);
    }
    LiveView view(columns);
    const ScanStatus status{
        1234, 56, "port lost since 14:03:12, reopening",
        "sent 2345, replies 2200, exceptions 3, nothing 40, echo-only 2, no-frame 5, "
        "other-slave 1, earlier-reply 13; response 8.1/9.0/12.4 ms (min/mean/max)",
        17};
    view.PortLost({});
    struct Case {
        TermSize size;
        bool legends;  // the bits one to a line with their legends
    };
    for (const Case& c : {Case{{80, 24}, false}, Case{{60, 30}, false}, Case{{100, 20}, false},
                          Case{{132, 43}, true}}) {
        const std::vector<std::string> lines = Lines(Plain(view.Render(status, c.size, {})));
        const std::string shown = Plain(view.Render(status, c.size, {}));
        EXPECT_LE(lines.size(), static_cast<std::size_t>(c.size.rows)) << shown;
        for (const std::string& line : lines) {
            EXPECT_LT(DisplayWidth(line), static_cast<std::size_t>(c.size.columns)) << line;
        }
        EXPECT_EQ(lines[0].rfind("k40ctl watch", 0), 0u) << shown;
        EXPECT_NE(shown.find("port lost since"), std::string::npos) << shown;
        EXPECT_NE(shown.find("(min/mean/max)"), std::string::npos) << shown;
        EXPECT_NE(shown.find("交流停电"), std::string::npos) << shown;
        EXPECT_EQ(shown.find("0：正常，1：故障") != std::string::npos, c.legends) << shown;
    }
}

// The alarms in words under the header, also at 80 x 24; a mode (浮充) is
// never one.
TEST(LiveView, SaysTheRaisedAlarmsInWords) {
    std::vector<SignalReading> columns = AnalogColumns();
    for (const SignalReading& bit : BitColumns()) {
        columns.push_back(bit);
    }
    LiveView view(columns);
    const ScanStatus status{3, 0, "reply", "sent 6, replies 6", 0};
    for (const auto& [word, expected] : std::vector<std::pair<int, std::string>>{
             {0x0002, "alarms: none"},
             {0x4006, "ALARM 交流停电 critical, 系统绝缘下降 warning"}}) {
        ReadRecord r;
        r.outcome = ReadOutcome::Reply;
        r.values = columns;
        for (SignalReading& v : r.values) {
            v.value = v.analog ? 220.0 : (word >> v.reg) & 1;
            v.text = v.analog ? "220.0" : std::to_string(int(v.value));
        }
        view.Add(r);
        const std::vector<std::string> lines = Lines(Plain(view.Render(status, {80, 24}, {})));
        ASSERT_LE(lines.size(), 24u);
        EXPECT_EQ(lines[1], expected);
    }
}

// A raw read of 40 registers on 24 lines: what fits, and how many more.
TEST(LiveView, SaysHowManyLinesTheScreenLeavesOut) {
    std::vector<SignalReading> columns;
    ReadRecord record;
    record.outcome = ReadOutcome::Reply;
    for (int i = 0; i < 40; ++i) {
        columns.push_back({300 + i, true, "holding " + std::to_string(300 + i), 0, "", "", ""});
        record.values.push_back(columns.back());
        record.values.back().text = std::to_string(i);
    }
    LiveView view(columns);
    view.Add(record);
    const std::vector<std::string> lines = Lines(Plain(view.Render({1, 0, "reply", ""}, {80, 24}, {})));
    ASSERT_EQ(lines.size(), 24u);
    std::size_t shown = 0;
    for (const std::string& line : lines) {
        shown += line.find("holding 3") != std::string::npos;
    }
    const std::string more = "... " + std::to_string(40 - shown) + " more lines";
    EXPECT_TRUE(std::any_of(lines.begin(), lines.end(), [&](const std::string& line) {
        return line.rfind(more, 0) == 0;
    })) << more;
}

TEST(LiveView, AChangedBitKeepsItsMarkAndTimeUntilTheNextChange) {
    LiveView view(Columns());
    const auto at = [](int second) {
        std::tm local{};
        local.tm_year = 126, local.tm_mon = 11, local.tm_mday = 7;
        local.tm_hour = 14, local.tm_min = 3, local.tm_sec = second, local.tm_isdst = -1;
        return std::chrono::system_clock::from_time_t(std::mktime(&local));
    };
    const auto scan = [&](int second, int bit0, int bit1) {
        ReadRecord r = Scan(220.0, bit0);
        r.values.back().text = std::to_string(bit1);
        r.time = at(second);
        view.Add(r);
        return Plain(view.Render({}, {80, 24}, at(second)));
    };
    const auto lineOf = [](const std::string& screen, const std::string& name) {
        const std::size_t from = screen.find(name);
        return from == std::string::npos
                   ? std::string()
                   : screen.substr(from - 2, screen.find('\n', from) - from + 2);
    };
    scan(0, 0, 0);
    scan(12, 1, 0);
    std::string screen;
    for (int s = 13; s < 20; ++s) {
        screen = scan(s, 1, 0);  // scans without a change: the mark stays
    }
    EXPECT_NE(lineOf(screen, "手动/自动").find("* 手动/自动"), std::string::npos) << screen;
    EXPECT_NE(lineOf(screen, "手动/自动").find("14:03:12"), std::string::npos) << screen;
    EXPECT_EQ(lineOf(screen, "均充/浮充").find("*"), std::string::npos) << screen;
    screen = scan(30, 0, 1);
    EXPECT_NE(lineOf(screen, "手动/自动").find("14:03:30"), std::string::npos) << screen;
    EXPECT_NE(lineOf(screen, "均充/浮充").find("* 均充/浮充  1 0：浮充，1：均充  14:03:30"), std::string::npos)
        << lineOf(screen, "均充/浮充");
}

}  // namespace
