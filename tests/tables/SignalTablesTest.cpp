// The signal tables hold GBK bytes; the expectations below are UTF-8. Every
// text is decoded with iconv(3) so that a wrong execution charset, a missing
// or altered character, or a text cut short by its field shows up here.
#include <gtest/gtest.h>
#include <iconv.h>

#include <cerrno>
#include <cstddef>
#include <cstring>
#include <iterator>
#include <optional>
#include <string>
#include <type_traits>

#include "tables/SignalTables.h"

namespace {

// Decodes a NUL-terminated GBK field to UTF-8; nullopt when the field is not
// terminated within its size or holds bytes that are not valid GBK.
template <std::size_t N>
std::optional<std::string> DecodeGbk(const char (&field)[N]) {
    const void* nul = std::memchr(field, 0, N);
    if (nul == nullptr) {
        return std::nullopt;
    }
    std::size_t inLeft = static_cast<const char*>(nul) - field;
    iconv_t cd = iconv_open("UTF-8", "GBK");
    if (cd == reinterpret_cast<iconv_t>(-1)) {
        ADD_FAILURE() << "iconv cannot convert GBK to UTF-8: " << std::strerror(errno);
        return std::nullopt;
    }
    std::string out(inLeft * 2 + 1, '\0');  // GBK double bytes become at most 3 UTF-8 bytes
    char* in = const_cast<char*>(field);
    char* dst = out.data();
    std::size_t outLeft = out.size();
    const std::size_t rc = iconv(cd, &in, &inLeft, &dst, &outLeft);
    iconv_close(cd);
    if (rc == static_cast<std::size_t>(-1) || inLeft != 0) {
        return std::nullopt;
    }
    out.resize(out.size() - outLeft);
    return out;
}

struct Expected {
    const SignalRecord* table;
    int index;
    unsigned number;
    float scale;
    const char* name;  // UTF-8
    const char* unit;  // UTF-8
};

const Expected kRecords[] = {
    {AnalogSignals, 0, 1, 600.0f, "屏内交流输入AB电压", "V"},
    {AnalogSignals, 1, 2, 600.0f, "屏内交流输入BC电压", "V"},
    {AnalogSignals, 2, 3, 600.0f, "屏内交流输入CA电压", "V"},
    {AnalogSignals, 3, 4, 600.0f, "合闸母线电压", "V"},
    {AnalogSignals, 4, 5, 600.0f, "控制母线电压", "A"},
    {AnalogSignals, 5, 6, 600.0f, "负载电流", "V"},
    {AnalogSignals, 6, 7, 600.0f, "电池组电压", "V"},
    {AnalogSignals, 7, 8, 600.0f, "电池组电流", "V"},
    {AnalogSignals, 8, 21, 600.0f, "电池房温度", "V"},
    {AnalogSignals, 9, 0, 0.0f, "", ""},
    {DigitalSignals, 0, 1, 0.0f, "系统运行方式", "0：自动，1：手动"},
    {DigitalSignals, 1, 2, 0.0f, "电池均浮充状态", "0：均充，1：浮充"},
    {DigitalSignals, 2, 3, 0.0f, "系统绝缘下降", "0：正常，1：下降"},
    {DigitalSignals, 3, 4, 0.0f, "电池单体电压异常", "0：正常，1：异常"},
    {DigitalSignals, 4, 5, 0.0f, "充电模块通讯离线", "0：在线，1：离线"},
    {DigitalSignals, 5, 6, 0.0f, "绝缘仪通讯离线", "0：在线，1：离线"},
    {DigitalSignals, 6, 7, 0.0f, "电池仪通讯离线", "0：在线，1：离线"},
    {DigitalSignals, 7, 8, 0.0f, "母线电压异常", "0：正常，1：异常"},
    {DigitalSignals, 8, 9, 0.0f, "电池组电压异常", "0：正常，1：异常"},
    {DigitalSignals, 9, 10, 0.0f, "电池组充电过流", "0：正常，1：过流"},
    {DigitalSignals, 10, 12, 0.0f, "电池组熔芯熔断", "0：正常，1：熔断"},
    {DigitalSignals, 11, 13, 0.0f, "馈出支路跳闸", "0：正常，1：跳闸"},
    {DigitalSignals, 12, 14, 0.0f, "交流输入空开跳闸", "0：正常，1：跳闸"},
    {DigitalSignals, 13, 15, 0.0f, "防雷器故障", "0：正常，1：故障"},
    {DigitalSignals, 14, 15, 0.0f, "交流停电", "0：正常，1：故障"},
    {DigitalSignals, 15, 0, 0.0f, "", ""},
};

const char* TableName(const SignalRecord* table) {
    return table == AnalogSignals ? "AnalogSignals" : "DigitalSignals";
}

TEST(SignalTables, EveryRecordDecodesToItsTexts) {
    static_assert(std::size(kRecords) == nAnalogSignals + nDigitalSignals);
    for (const Expected& e : kRecords) {
        SCOPED_TRACE(std::string(TableName(e.table)) + "[" + std::to_string(e.index) + "]");
        const SignalRecord& r = e.table[e.index];
        EXPECT_EQ(r.wNumber, e.number);
        EXPECT_EQ(r.fScale, e.scale);
        EXPECT_EQ(DecodeGbk(r.szName), std::optional<std::string>(e.name));
        EXPECT_EQ(DecodeGbk(r.szUnit), std::optional<std::string>(e.unit));
    }
}

TEST(SignalTables, CountsAreTenAndSixteen) {
    EXPECT_EQ(nAnalogSignals, 10);
    EXPECT_EQ(nDigitalSignals, 16);
    EXPECT_EQ(std::size(AnalogSignals), 10u);
    EXPECT_EQ(std::size(DigitalSignals), 16u);
}

// The read page looks rows up by position: row 10 is the fuse record although
// its number is 12, because the unit's numbering skips 11.
TEST(SignalTables, DigitalRowTenIsTheFuseRecordNumberTwelve) {
    EXPECT_EQ(DigitalSignals[10].wNumber, 12);
    EXPECT_EQ(DecodeGbk(DigitalSignals[10].szName), std::optional<std::string>("电池组熔芯熔断"));
}

TEST(SignalTables, DigitalRowsThirteenAndFourteenShareNumberAndLegend) {
    EXPECT_EQ(DigitalSignals[13].wNumber, 15);
    EXPECT_EQ(DigitalSignals[14].wNumber, 15);
    EXPECT_STRNE(DigitalSignals[13].szName, DigitalSignals[14].szName);
    EXPECT_STREQ(DigitalSignals[13].szUnit, DigitalSignals[14].szUnit);
    EXPECT_EQ(DecodeGbk(DigitalSignals[14].szUnit), std::optional<std::string>("0：正常，1：故障"));
}

TEST(SignalTables, AnalogUnitsStandAsTheUnitDocumentsThem) {
    EXPECT_STREQ(AnalogSignals[4].szUnit, "A");  // control bus voltage
    EXPECT_STREQ(AnalogSignals[5].szUnit, "V");  // load current
    EXPECT_STREQ(AnalogSignals[7].szUnit, "V");  // battery string current
    EXPECT_STREQ(AnalogSignals[8].szUnit, "V");  // battery room temperature
    EXPECT_EQ(AnalogSignals[8].wNumber, 21);
}

TEST(SignalTables, EmptyRecordsHaveEmptyTextsAndZeroes) {
    for (const SignalRecord* r : {&AnalogSignals[9], &DigitalSignals[15]}) {
        EXPECT_EQ(r->wNumber, 0);
        EXPECT_EQ(r->szName[0], '\0');
        EXPECT_EQ(r->szUnit[0], '\0');
        EXPECT_EQ(r->fScale, 0.0f);
    }
}

TEST(SignalTables, UsedAnalogRecordsScaleBy600DigitalBy0) {
    for (int i = 0; i < 9; ++i) {
        EXPECT_EQ(AnalogSignals[i].fScale, 600.0f) << i;
    }
    for (int i = 0; i < nDigitalSignals; ++i) {
        EXPECT_EQ(DigitalSignals[i].fScale, 0.0f) << i;
    }
}

// Each legend reads: '0', full-width colon (A3 BA), meaning of 0, full-width
// comma (A3 AC), '1', full-width colon, meaning of 1. The walk steps over GBK
// double bytes so that a trail byte never passes for a lead byte.
TEST(SignalTables, LegendsUseFullWidthColonAndCommaInGbk) {
    const std::string colon = "\xA3\xBA";
    const std::string comma = "\xA3\xAC";
    for (int i = 0; i < 15; ++i) {
        SCOPED_TRACE("DigitalSignals[" + std::to_string(i) + "]");
        const std::string legend = DigitalSignals[i].szUnit;
        ASSERT_GE(legend.size(), 6u);
        EXPECT_EQ(legend.substr(0, 3), "0" + colon);
        std::size_t commaAt = std::string::npos;
        int commas = 0;
        for (std::size_t p = 0; p < legend.size();) {
            const auto lead = static_cast<unsigned char>(legend[p]);
            if (lead < 0x80) {
                ++p;
                continue;
            }
            ASSERT_LT(p + 1, legend.size()) << "cut double byte";
            if (legend.compare(p, 2, comma) == 0) {
                commaAt = p;
                ++commas;
            }
            p += 2;
        }
        ASSERT_EQ(commas, 1);
        EXPECT_EQ(legend.substr(commaAt, 5), comma + "1" + colon);
        EXPECT_GT(commaAt, 3u) << "meaning of 0 is missing";
        EXPECT_LT(commaAt + 5, legend.size()) << "meaning of 1 is missing";
    }
}

// The record layout is part of the data: 2-byte number, 102-byte name,
// float at 104, 52-byte unit at 108, 160 bytes per record.
TEST(SignalRecordLayout, FieldOffsetsAndSize) {
    static_assert(std::is_standard_layout_v<SignalRecord>);
    EXPECT_EQ(offsetof(SignalRecord, wNumber), 0u);
    EXPECT_EQ(offsetof(SignalRecord, szName), 2u);
    EXPECT_EQ(offsetof(SignalRecord, fScale), 104u);
    EXPECT_EQ(offsetof(SignalRecord, szUnit), 108u);
    EXPECT_EQ(sizeof(SignalRecord), 160u);
    EXPECT_EQ(sizeof(SignalRecord::wNumber), 2u);
    EXPECT_EQ(sizeof(SignalRecord::szName), 102u);
    EXPECT_EQ(sizeof(SignalRecord::fScale), 4u);
    EXPECT_EQ(sizeof(SignalRecord::szUnit), 52u);
}

}  // namespace
