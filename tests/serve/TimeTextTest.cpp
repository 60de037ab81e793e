// --history and ?since=: what a person or a script writes, and what must be
// refused rather than read as something else.
#include <gtest/gtest.h>

#include "serve/TimeText.h"

namespace {

using namespace std::chrono;

TEST(ParseKeepDuration, ReadsANumberAndAUnitUpToThirtyDays) {
    const struct {
        const char* text;
        long long seconds;
    } good[] = {{"24h", 86400}, {"90m", 5400},    {"3600s", 3600},   {"1s", 1},
                {"7d", 604800}, {"30d", 2592000}, {"720h", 2592000}, {"0090m", 5400}};
    for (const auto& c : good) {
        seconds out{};
        EXPECT_TRUE(ParseKeepDuration(c.text, &out)) << c.text;
        EXPECT_EQ(out.count(), c.seconds) << c.text;
    }
    for (const char* bad :
         {"",         "h",    "24",  "1e3",  "1e3s",       "24 h",         " 24h",
          "24h ",     "-5m",  "+5m", "0h",   "0s",         "31d",          "721h",
          "2592001s", "1.5h", "24H", "24hh", "999999999d", "99999999999s", "5w"}) {
        seconds out{7};
        EXPECT_FALSE(ParseKeepDuration(bad, &out)) << bad;
        EXPECT_EQ(out.count(), 7) << bad;
    }
}

TEST(ParseIso8601, ReadsZonedTimesToTheNanosecond) {
    // Unix ns of 2026-12-08T10:00:00Z.
    constexpr long long kTen = 1796724000LL * 1000000000LL;
    const struct {
        const char* text;
        long long ns;
    } good[] = {
        {"2026-12-08T10:00:00Z", kTen},
        {"2026-12-08t10:00:00z", kTen},
        {"2026-12-08T11:00:00+01:00", kTen},
        {"2026-12-08T04:30:00-0530", kTen},
        {"2026-12-08T11:00:00 01:00", kTen},  // an unencoded '+' in a query
        {"2026-12-08T10:00:00.5Z", kTen + 500000000},
        {"2026-12-08T10:00:00,25Z", kTen + 250000000},
        {"2026-12-08T10:00:00.123456789Z", kTen + 123456789},
        {"2026-12-08T10:00:00.1234567891Z", kTen + 123456789},
        {"2026-12-07T17:44:55.123+01:00", 1796661895123LL * 1000000},  // as Iso8601Local writes
        {"2028-02-29T00:00:00Z", 1835395200LL * 1000000000},
        {"1970-01-01T00:00:00Z", 0},
        {"1969-12-31T23:59:59.5Z", -500000000},
        {"2000-03-01T00:00:00+14:00", (951868800LL - 14 * 3600) * 1000000000},
    };
    for (const auto& c : good) {
        system_clock::time_point out;
        ASSERT_TRUE(ParseIso8601(c.text, &out)) << c.text;
        EXPECT_EQ(duration_cast<nanoseconds>(out.time_since_epoch()).count(), c.ns) << c.text;
    }
    for (const char* bad : {"",
                            "garbage",
                            "2026-12-08",
                            "2026-12-08T10:00:00",
                            "2026-12-08T10:00Z",
                            "2026-12-08 10:00:00Z",
                            "2026-13-08T10:00:00Z",
                            "2026-00-08T10:00:00Z",
                            "2026-02-29T10:00:00Z",
                            "2026-04-31T10:00:00Z",
                            "2026-12-00T10:00:00Z",
                            "2026-12-08T24:00:00Z",
                            "2026-12-08T10:60:00Z",
                            "2026-12-08T10:00:60Z",
                            "2026-12-08T10:00:00.Z",
                            "2026-12-08T10:00:00+1:00",
                            "2026-12-08T10:00:00+24:00",
                            "2026-12-08T10:00:00+01:60",
                            "2026-12-08T10:00:00+01:00x",
                            "2026-12-08T10:00:00Zx",
                            "2026-12-08T10:00:00*01:00",
                            "26-12-08T10:00:00Z",
                            "2026-1-08T10:00:00Z",
                            "1899-12-31T23:59:59Z",
                            "2200-01-01T00:00:00Z",
                            "9999-12-31T23:59:59Z",
                            "2026-12-08T10:00:00+01",
                            "+2026-12-08T10:00:00Z"}) {
        system_clock::time_point out{seconds(7)};
        EXPECT_FALSE(ParseIso8601(bad, &out)) << bad;
        EXPECT_EQ(out, system_clock::time_point{seconds(7)}) << bad;
    }
}

}  // namespace
