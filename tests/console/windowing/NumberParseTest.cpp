// The number rules of the entry boxes, byte for byte.
#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <optional>
#include <string>

#include "console/windowing/NumberParse.h"

namespace {

constexpr auto kIntMax = std::numeric_limits<std::int32_t>::max();
constexpr auto kIntMin = std::numeric_limits<std::int32_t>::min();
constexpr auto kDWordMax = std::numeric_limits<std::uint32_t>::max();
constexpr float kInf = std::numeric_limits<float>::infinity();

template <typename T>
struct Case {
    std::string text;
    std::optional<T> expected;
};

template <typename T>
std::string Describe(const Case<T>& c) {
    return "text \"" + c.text + "\"";
}

TEST(ParseIntText, AddressBoxTable) {
    const Case<std::int32_t> cases[] = {
        {"0", 0},
        {"255", 255},
        {"-3", -3},
        {"1", 1},
        {"254", 254},
        {" 7 ", 7},
        {"+7", 7},
        {"", std::nullopt},
        {"7x", std::nullopt},
        {"0x10", std::nullopt},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(ParseIntText(c.text), c.expected) << Describe(c);
    }
}

TEST(ParseIntText, ZeroOnlyWhenWrittenWithLeadingDigitZero) {
    const Case<std::int32_t> cases[] = {
        {"0", 0},
        {" 0", 0},
        {"00", 0},
        {"\t0 ", 0},
        {"+0", std::nullopt},
        {"-0", std::nullopt},
        {"+", std::nullopt},
        {"-", std::nullopt},
        {" ", std::nullopt},
        {"- 7", std::nullopt},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(ParseIntText(c.text), c.expected) << Describe(c);
    }
}

TEST(ParseIntText, OnlyBlanksAndTabsAroundTheNumber) {
    const Case<std::int32_t> cases[] = {
        {"\t7\t", 7},          {"  -12  ", -12},           {"7 8", std::nullopt},
        {"\n7", std::nullopt}, {"7\r", std::nullopt},      {"1.0", std::nullopt},
        {"1e2", std::nullopt}, {"\xa3\xb7", std::nullopt},  // a full-width digit in GBK
    };
    for (const auto& c : cases) {
        EXPECT_EQ(ParseIntText(c.text), c.expected) << Describe(c);
    }
}

TEST(ParseIntText, SaturatesAtTheSigned32BitLimits) {
    const Case<std::int32_t> cases[] = {
        {"2147483647", kIntMax},  {"2147483648", kIntMax},  {"99999999999999999999", kIntMax},
        {"-2147483648", kIntMin}, {"-2147483649", kIntMin}, {"-99999999999999999999", kIntMin},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(ParseIntText(c.text), c.expected) << Describe(c);
    }
}

TEST(ParseIntText, ReadsOnlyTheFirst31Bytes) {
    EXPECT_EQ(ParseIntText(std::string(30, ' ') + "7"), 7);
    EXPECT_EQ(ParseIntText(std::string(31, ' ') + "7"), std::nullopt);  // only blanks are read
    EXPECT_EQ(ParseIntText(std::string(30, '0') + "71"), 7);            // the 1 is cut off
    EXPECT_EQ(ParseIntText("7" + std::string(30, ' ') + "x"), 7);       // the x is cut off
    EXPECT_EQ(ParseIntText(static_cast<const char*>(nullptr)), std::nullopt);
}

TEST(ParseDWordText, WaitTimeBoxTable) {
    const Case<std::uint32_t> cases[] = {
        {"-1", std::nullopt},
        {" -1", std::nullopt},
        {"99", 99},
        {"100", 100},
        {"50000", 50000},
        {"50001", 50001},
        {"+5", 5},
        {"+0", std::nullopt},
        {"0", 0},
        {"", std::nullopt},
        {"1.5", std::nullopt},
        {" 1500\t", 1500},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(ParseDWordText(c.text), c.expected) << Describe(c);
    }
}

TEST(ParseDWordText, SaturatesAtTheLargestValue) {
    EXPECT_EQ(ParseDWordText("4294967295"), kDWordMax);
    EXPECT_EQ(ParseDWordText("4294967296"), kDWordMax);
    EXPECT_EQ(ParseDWordText("99999999999999999999999"), kDWordMax);
}

TEST(ParseFloatText, SetpointBoxTable) {
    const Case<float> cases[] = {
        {"234", 234.0f},        {" 1e2 ", 100.0f},   {"300.001", 300.001f}, {"abc", std::nullopt},
        {"1.5x", std::nullopt}, {"\t110\t", 110.0f}, {".5", 0.5f},          {"5.", 5.0f},
        {"-1.5e-1", -0.15f},    {"+2E+1", 20.0f},    {"234.1", 234.1f},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(ParseFloatText(c.text), c.expected) << Describe(c);
    }
}

TEST(ParseFloatText, ZeroOnlyWhenWrittenWithLeadingDigitZero) {
    const Case<float> cases[] = {
        {"0", 0.0f},          {" 0", 0.0f},           {"0.0", 0.0f},
        {"0e5", 0.0f},        {"+0", std::nullopt},   {"-0", std::nullopt},
        {".0", std::nullopt}, {"-0.0", std::nullopt}, {"", std::nullopt},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(ParseFloatText(c.text), c.expected) << Describe(c);
    }
}

TEST(ParseFloatText, RefusesWhatIsNotAPlainDecimalNumber) {
    for (const char* text :
         {"1e", "1e+", "e5", ".", "+.", "inf", "nan", "0x1p3", "1,5", "1 .5", "--1", "1e5.0"}) {
        EXPECT_EQ(ParseFloatText(text), std::nullopt) << text;
    }
}

TEST(ParseFloatText, NarrowsToSinglePrecision) {
    EXPECT_EQ(ParseFloatText("3.40282350e38"), std::numeric_limits<float>::max());
    EXPECT_EQ(ParseFloatText("1e39"), kInf);
    EXPECT_EQ(ParseFloatText("-1e39"), -kInf);
    EXPECT_EQ(ParseFloatText("1e400"), kInf);
    // Nonzero in double precision, so accepted, though it rounds to 0.
    EXPECT_EQ(ParseFloatText("1e-50"), 0.0f);
    // Zero in double precision and not written with a leading 0.
    EXPECT_EQ(ParseFloatText("1e-400"), std::nullopt);
}

TEST(FormatFloatText, SixSignificantDigits) {
    const std::pair<float, const char*> cases[] = {
        {234.0f, "234"},   {100.0f, "100"},     {0.0f, "0"},           {300.001f, "300.001"},
        {234.1f, "234.1"}, {110.01f, "110.01"}, {1e6f, "1e+06"},       {0.0001f, "0.0001"},
        {1e-5f, "1e-05"},  {-0.0f, "-0"},       {123456.7f, "123457"},
    };
    for (const auto& [value, text] : cases) {
        EXPECT_EQ(FormatFloatText(value), text) << value;
    }
}

}  // namespace
