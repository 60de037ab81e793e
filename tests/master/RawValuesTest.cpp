// Raw access's values both ways: a value from the command line into registers
// in each type and byte order, and the same registers in a reply back to the
// text k40ctl shows; then the values that must be refused before anything is
// sent, and the values that can only be read (NaN, infinities, odd ascii).
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "master/RawAccess.h"
#include "tests/master/FakeUnitLine.h"

namespace {

using Registers = std::vector<std::uint16_t>;

// A 03 reply from slave 1 carrying the registers.
Bytes HoldingReply(const Registers& regs) {
    Bytes pdu = {0x03, static_cast<std::uint8_t>(2 * regs.size())};
    for (std::uint16_t r : regs) {
        pdu.push_back(static_cast<std::uint8_t>(r >> 8));
        pdu.push_back(static_cast<std::uint8_t>(r));
    }
    return From(1, pdu);
}

std::vector<std::string> Texts(const RawRead& read, const Registers& regs) {
    std::vector<std::string> texts;
    for (const SignalReading& r : DecodeRawReply(read, HoldingReply(regs).data())) {
        texts.push_back(r.text);
    }
    return texts;
}

struct RoundTrip {
    RawType type;
    ByteOrder order;
    const char* text;
    Registers regs;               // as they lie in the device, in address order
    const char* shown = nullptr;  // read back as; null: as text
};

constexpr auto A = ByteOrder::Abcd, C = ByteOrder::Cdab, B = ByteOrder::Badc, D = ByteOrder::Dcba;

const RoundTrip kRoundTrips[] = {
    // The orders, on values whose bytes can be told apart.
    {RawType::U16, A, "4660", {0x1234}},
    {RawType::U16, C, "4660", {0x1234}},
    {RawType::U16, B, "4660", {0x3412}},
    {RawType::U16, D, "4660", {0x3412}},
    {RawType::U32, A, "287454020", {0x1122, 0x3344}},
    {RawType::U32, C, "287454020", {0x3344, 0x1122}},
    {RawType::U32, B, "287454020", {0x2211, 0x4433}},
    {RawType::U32, D, "287454020", {0x4433, 0x2211}},
    {RawType::U64, A, "0x0102030405060708", {0x0102, 0x0304, 0x0506, 0x0708}, "72623859790382856"},
    {RawType::U64, C, "72623859790382856", {0x0708, 0x0506, 0x0304, 0x0102}},
    {RawType::U64, B, "72623859790382856", {0x0201, 0x0403, 0x0605, 0x0807}},
    {RawType::U64, D, "72623859790382856", {0x0807, 0x0605, 0x0403, 0x0201}},
    {RawType::F32, C, "-3.25", {0x0000, 0xC050}},
    {RawType::F32, D, "-3.25", {0x0000, 0x50C0}},
    // The ends of each range, and the signs.
    {RawType::U16, A, "65535", {0xFFFF}},
    {RawType::S16, A, "-1", {0xFFFF}},
    {RawType::S16, A, "-32768", {0x8000}},
    {RawType::S16, B, "32767", {0xFF7F}},
    {RawType::U32, A, "4294967295", {0xFFFF, 0xFFFF}},
    {RawType::S32, A, "-2147483648", {0x8000, 0x0000}},
    {RawType::S32, C, "-2", {0xFFFE, 0xFFFF}},
    {RawType::U64, A, "18446744073709551615", {0xFFFF, 0xFFFF, 0xFFFF, 0xFFFF}},
    {RawType::S64, A, "-9223372036854775808", {0x8000, 0, 0, 0}},
    {RawType::S64, A, "9223372036854775807", {0x7FFF, 0xFFFF, 0xFFFF, 0xFFFF}},
    {RawType::S64, D, "-2", {0xFEFF, 0xFFFF, 0xFFFF, 0xFFFF}},
    {RawType::Hex, A, "0xBEEF", {0xBEEF}},
    {RawType::Hex, A, "ff", {0x00FF}, "0x00FF"},
    {RawType::Hex, A, "0XFF", {0x00FF}, "0x00FF"},
    // Floats read back in their shortest text: 0.1, not 0.100000001.
    {RawType::F32, A, "0.1", {0x3DCC, 0xCCCD}},
    {RawType::F32, A, "-0", {0x8000, 0x0000}},
    {RawType::F32, A, "1e-45", {0x0000, 0x0001}, "1.4013e-45"},
    {RawType::F32, A, "3.4028235e38", {0x7F7F, 0xFFFF}, "3.4028235e+38"},
    {RawType::F64, A, "0.1", {0x3FB9, 0x9999, 0x9999, 0x999A}},
    {RawType::F64, C, "-2.5", {0, 0, 0, 0xC004}},
};

TEST(RawValues, EncodeAndDecodeEachTypeAndOrder) {
    for (const RoundTrip& c : kRoundTrips) {
        SCOPED_TRACE(std::string(TypeName(c.type)) + " " + ByteOrderName(c.order) + " " + c.text);
        Registers regs;
        std::string why;
        ASSERT_TRUE(EncodeValue(c.text, c.type, c.order, regs, why)) << why;
        EXPECT_EQ(regs, c.regs);
        const RawRead read{RawTable::Holding, 40, 1, c.type, c.order};
        EXPECT_EQ(Texts(read, c.regs), std::vector<std::string>{c.shown ? c.shown : c.text});
    }
}

// Values no write can give, as a device may still hold them.
TEST(RawValues, DecodesWhatCannotBeWritten) {
    const struct {
        RawType type;
        ByteOrder order;
        int count;
        Registers regs;
        std::vector<std::string> shown;
    } cases[] = {
        {RawType::F32, A, 3, {0x7FC0, 0, 0x7F80, 0, 0xFF80, 0}, {"NaN", "Inf", "-Inf"}},
        {RawType::F32, C, 1, {0x0000, 0xFF80}, {"-Inf"}},
        {RawType::F64, A, 2, {0x7FF8, 0, 0, 0, 0xFFF0, 0, 0, 0}, {"NaN", "-Inf"}},
        {RawType::F64, D, 1, {0, 0, 0, 0xF87F}, {"NaN"}},
        // Two characters a register; what does not print is escaped, and so
        // is the escape itself, so the text cannot be misread.
        {RawType::Ascii, A, 3, {0x4B34, 0x305C, 0x017F}, {"K40\\\\\\x01\\x7F"}},
        {RawType::Ascii, B, 2, {0x344B, 0x8000}, {"K4\\x00\\x80"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(TypeName(c.type)) + " " + ByteOrderName(c.order));
        const RawRead read{RawTable::Input, 7, c.count, c.type, c.order};
        EXPECT_EQ(Texts(read, c.regs), c.shown);
    }
    // Beside a value that is no number, the registers it came from.
    const RawRead nan{RawTable::Input, 7, 1, RawType::F32, C};
    const auto values = DecodeRawReply(nan, HoldingReply({0x0001, 0x7FC0}).data());
    EXPECT_EQ(values.at(0).registers, (std::vector<std::string>{"0x0001", "0x7FC0"}));
    EXPECT_EQ(values.at(0).text, "NaN");
}

TEST(RawValues, DecodesBitsLowestFirst) {
    const RawRead read{RawTable::Coils, 0, 10, RawType::U16, A};
    std::vector<std::string> bits;
    for (const SignalReading& r : DecodeRawReply(read, From(1, {0x01, 2, 0x05, 0x02}).data())) {
        bits.push_back(r.text);
    }
    EXPECT_EQ(bits, (std::vector<std::string>{"1", "0", "1", "0", "0", "0", "0", "0", "0", "1"}));
}

TEST(RawValues, RefusesWhatDoesNotFit) {
    const struct {
        RawType type;
        const char* text;
    } cases[] = {
        {RawType::U16, "65536"},
        {RawType::U16, "-1"},
        {RawType::U16, ""},
        {RawType::U16, "12a"},
        {RawType::U16, " 1"},
        {RawType::U16, "0x"},
        {RawType::S16, "32768"},
        {RawType::S16, "-32769"},
        {RawType::Hex, "0x10000"},
        {RawType::Hex, "-1"},
        {RawType::U32, "4294967296"},
        {RawType::S32, "2147483648"},
        {RawType::S32, "-2147483649"},
        {RawType::U64, "18446744073709551616"},
        {RawType::U64, "-1"},
        {RawType::U64, "0x10000000000000000"},
        {RawType::S64, "9223372036854775808"},
        {RawType::S64, "-9223372036854775809"},
        {RawType::F32, "3.5e38"},
        {RawType::F32, "nan"},
        {RawType::F32, "-inf"},
        {RawType::F32, "1.5V"},
        {RawType::F64, "1e309"},
        {RawType::F64, "inf"},
        {RawType::F64, ""},
        {RawType::Ascii, "AB"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(TypeName(c.type)) + " '" + c.text + "'");
        Registers regs;
        std::string why;
        EXPECT_FALSE(EncodeValue(c.text, c.type, ByteOrder::Abcd, regs, why));
        EXPECT_TRUE(regs.empty());
        EXPECT_FALSE(why.empty());
    }
}

// A raw read through the link: the request asks the registers the value
// needs, and the reply's registers come back as the value's text.
TEST(RawValues, ReadThroughTheLink) {
    FakeUnitLine fake;
    Bytes asked;
    fake.peer = [&](const Bytes& request) {
        asked = request;
        return Answer{HoldingReply({0x0000, 0xC050, 0xFFFF, 0xFFFF})};
    };
    const RawRead read{RawTable::Holding, 0x1000, 2, RawType::F32, C};
    ASSERT_EQ(fake.link.Request(ReadPdu(read), ExchangeVariant::Read).outcome, ReadOutcome::Reply);
    EXPECT_EQ(asked, Request(1, 0x03, 0x1000, 4));
    const auto values = DecodeRawReply(read, fake.link.ReplyFrame());
    ASSERT_EQ(values.size(), 2u);
    EXPECT_EQ(values[0].text, "-3.25");
    EXPECT_EQ(values[1].text, "NaN");
    EXPECT_EQ(values[1].reg, 0x1002);
}

}  // namespace
