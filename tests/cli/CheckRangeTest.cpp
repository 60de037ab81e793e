// The plugins' range syntax as the Monitoring Plugins development guidelines
// give it, value by value at and beside each end.
#include <gtest/gtest.h>

#include "cli/CheckRange.h"

namespace {

struct RangeCase {
    const char* text;
    double value;
    bool alerts;
};

const RangeCase kCases[] = {
    {"10", -0.1, true},   {"10", 0, false},     {"10", 10, false},    {"10", 10.1, true},
    {"10:", 9.9, true},   {"10:", 10, false},   {"10:", 1e9, false},  {"~:10", -1e9, false},
    {"~:10", 10, false},  {"~:10", 10.1, true}, {"10:20", 9.9, true}, {"10:20", 10, false},
    {"10:20", 20, false}, {"10:20", 21, true},  {"@10:20", 10, true}, {"@10:20", 20, true},
    {"@10:20", 9, false}, {"@10:20", 21, false}, {"-5:-1", -3, false}, {"-5:-1", 0, true},
    {"200.5:245", 200.4, true}, {"@~:0", -0.5, true}, {"@~:0", 0.5, false},
};

TEST(CheckRange, AlertsAsTheGuidelinesSay) {
    for (const RangeCase& c : kCases) {
        CheckRange range;
        ASSERT_TRUE(ParseCheckRange(c.text, &range)) << c.text;
        EXPECT_EQ(range.Alerts(c.value), c.alerts) << c.text << " at " << c.value;
        EXPECT_EQ(range.text, c.text);
    }
}

TEST(CheckRange, RefusesWhatIsNoRange) {
    for (const char* text : {"", ":", "abc", "20:10", "1e3", "10:~", "@", "0x10", "10:20:30",
                             "nan", "inf:"}) {
        CheckRange range;
        EXPECT_FALSE(ParseCheckRange(text, &range)) << text;
    }
}

TEST(CheckRange, ThresholdsNameAMeasurement) {
    CheckThreshold t;
    EXPECT_EQ(ParseCheckThreshold("battery_voltage=200:245", &t), "");
    EXPECT_EQ(t.reg, 106);
    EXPECT_TRUE(t.range.Alerts(199));
    EXPECT_NE(ParseCheckThreshold("battery=200:245", &t).find("battery_voltage"),
              std::string::npos);
    EXPECT_NE(ParseCheckThreshold("ac_power_failure=1", &t), "");
    EXPECT_NE(ParseCheckThreshold("battery_voltage", &t), "");
    EXPECT_NE(ParseCheckThreshold("battery_voltage=20:10", &t), "");
}

}  // namespace
