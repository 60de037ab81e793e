#include "cli/LiveView.h"

#include <gtest/gtest.h>

#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "cli/DisplayWidth.h"

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

}  // namespace
