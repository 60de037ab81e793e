// Decoding of read replies into list rows, and the exception names.
#include <gtest/gtest.h>
#include <iconv.h>
#include <locale.h>

#include <cstdio>

#include "unit/ExceptionText.h"
#include "unit/ReadDecode.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

std::vector<std::string> Values(ReadCommand cmd, const Bytes& reply, int records) {
    std::vector<std::string> values;
    int expected = 0;
    for (const DecodedRow& row :
         DecodeReadReply(cmd, reply.data(), static_cast<int>(reply.size()), records)) {
        EXPECT_EQ(row.index, expected++);
        values.push_back(row.value);
    }
    return values;
}

std::string Utf8FromGbk(const std::string& gbk) {
    iconv_t cd = iconv_open("UTF-8", "GBK");
    std::string in = gbk;
    std::string out(in.size() * 3 + 4, '\0');
    char* ip = in.data();
    char* op = out.data();
    size_t il = in.size();
    size_t ol = out.size();
    const size_t r = iconv(cd, &ip, &il, &op, &ol);
    iconv_close(cd);
    EXPECT_NE(r, static_cast<size_t>(-1));
    out.resize(out.size() - ol);
    return out;
}

const std::vector<std::string> kBits1234 = {"0", "0", "1", "0", "1", "1", "0", "0",
                                            "0", "1", "0", "0", "1", "0", "0", "0"};

}  // namespace

TEST(ReadDecode, CoilsAndRegisterGiveTheSameSixteenBits) {
    // 01: data 34 12, least significant bit first; 03: register 1234, low byte first.
    EXPECT_EQ(Values(ReadCommand::Coils01, {0x01, 0x01, 0x02, 0x34, 0x12, 0, 0}, 16), kBits1234);
    EXPECT_EQ(Values(ReadCommand::Register03, {0x01, 0x03, 0x02, 0x12, 0x34, 0, 0}, 16), kBits1234);
}

TEST(ReadDecode, RowsStopAtTheTable) {
    const Bytes threeBytes = {0x01, 0x01, 0x03, 0xFF, 0xFF, 0xFF, 0, 0};
    EXPECT_EQ(Values(ReadCommand::Coils01, threeBytes, 16).size(), 16u);
    Bytes analog = {0x01, 0x03, 24};
    analog.resize(3 + 24 + 2, 0x80);
    EXPECT_EQ(Values(ReadCommand::Analog03, analog, 10).size(), 10u);
}

TEST(ReadDecode, NeverReadsPastTheFrame) {
    // The byte count claims 18 data bytes, the frame holds 2: only what is there.
    EXPECT_EQ(Values(ReadCommand::Analog03, {0x01, 0x03, 18, 0x80, 0x00, 0, 0}, 10).size(), 1u);
    EXPECT_EQ(Values(ReadCommand::Coils01, {0x01, 0x01, 9, 0xFF, 0, 0}, 16).size(), 8u);
    EXPECT_TRUE(Values(ReadCommand::Coils01, {0x01, 0x01}, 16).empty());
}

TEST(ReadDecode, EmptyReplies) {
    EXPECT_TRUE(Values(ReadCommand::Coils01, {0x01, 0x01, 0x00, 0, 0}, 16).empty());
    EXPECT_TRUE(Values(ReadCommand::Analog03, {0x01, 0x03, 0x01, 0x80, 0, 0}, 10).empty());
}

struct AnalogCase {
    std::uint16_t raw;
    const char* text;
};

TEST(ReadDecode, AnalogScaling) {
    const AnalogCase cases[] = {{0, "-500.0"},    {32767, " -0.0"}, {32768, "  0.0"},
                                {47184, "220.0"}, {65535, "500.0"}, {65534, "500.0"},
                                {39321, "100.0"}, {20000, "-194.8"}};
    for (const AnalogCase& c : cases) {
        const Bytes reply = {0x01,
                             0x03,
                             0x02,
                             static_cast<std::uint8_t>(c.raw >> 8),
                             static_cast<std::uint8_t>(c.raw),
                             0,
                             0};
        EXPECT_EQ(Values(ReadCommand::Analog03, reply, 10), std::vector<std::string>{c.text})
            << c.raw;
    }
    EXPECT_EQ(1.0f / 32767.0f, 0x1.0002p-15f);  // 2^-15 + 2^-30
}

// Every raw value gives the text printf's "%5.1f" gives in the "C" locale:
// the same rounding of the exact value, the same width, the same "-0.0".
TEST(ReadDecode, AnalogTextIsPrintfsInTheCLocale) {
    const locale_t cLocale = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(nullptr));
    ASSERT_NE(cLocale, static_cast<locale_t>(nullptr));
    const locale_t previous = uselocale(cLocale);
    int mismatches = 0;
    for (unsigned raw = 0; raw <= 0xFFFF; ++raw) {
        const Bytes reply = {
            0x01, 0x03, 0x02, static_cast<std::uint8_t>(raw >> 8), static_cast<std::uint8_t>(raw),
            0,    0};
        char expected[32];
        std::snprintf(expected, sizeof expected, "%5.1f",
                      static_cast<double>(AnalogValue(static_cast<std::uint16_t>(raw))));
        const std::vector<std::string> values = Values(ReadCommand::Analog03, reply, 1);
        if (values.size() != 1 || values[0] != expected) {
            if (++mismatches <= 5) {
                ADD_FAILURE() << raw << ": " << (values.empty() ? "" : values[0]) << " vs "
                              << expected;
            }
        }
    }
    uselocale(previous);
    freelocale(cLocale);
    EXPECT_EQ(mismatches, 0);
}

TEST(ExceptionText, NamesAndMessage) {
    const std::pair<int, const char*> names[] = {
        {0x01, "非法功能"},       {0x02, "非法数据地址"},   {0x03, "非法数据值"},
        {0x04, "从站设备故障"},   {0x05, "确认"},           {0x06, "从站设备忙"},
        {0x08, "存储奇偶性差错"}, {0x0A, "不可用网关路径"}, {0x0B, "网关目标设备响应失败"},
        {0x07, "未知异常"},       {0x00, "未知异常"},       {0xFF, "未知异常"}};
    for (const auto& [code, name] : names) {
        EXPECT_EQ(Utf8FromGbk(ExceptionName(static_cast<std::uint8_t>(code))), name) << code;
    }
    EXPECT_EQ(Utf8FromGbk(ExceptionMessage("RTU", 0x0A)), "RTU\n异常码 0A：不可用网关路径");
    const std::pair<int, const char*> english[] = {
        {0x01, "illegal function"},  {0x02, "illegal data address"},
        {0x03, "illegal data value"}, {0x04, "server device failure"},
        {0x05, "acknowledge"},        {0x06, "server device busy"},
        {0x08, "memory parity error"}, {0x0A, "gateway path unavailable"},
        {0x0B, "gateway target device failed to respond"}, {0x07, "unknown exception"}};
    for (const auto& [code, name] : english) {
        EXPECT_STREQ(ExceptionNameEnglish(static_cast<std::uint8_t>(code)), name) << code;
    }
}
