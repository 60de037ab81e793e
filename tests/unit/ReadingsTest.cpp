// The reads and commands as k40ctl and the pages share them: requests, named
// readings in UTF-8, and the command requests with their setpoint codes.
#include <gtest/gtest.h>

#include <tuple>

#include "tests/support/TestFrames.h"
#include "unit/ControlCommands.h"
#include "unit/ExceptionText.h"
#include "unit/GbkText.h"
#include "unit/Readings.h"

TEST(Readings, ColumnsCarryTheTablesTextsInUtf8) {
    const auto analog = AnalogColumns();
    ASSERT_EQ(analog.size(), 9u);
    EXPECT_EQ(analog[0].reg, 100);
    EXPECT_EQ(analog[0].name, "屏内交流输入AB电压");
    EXPECT_EQ(analog[7].name, "电池组电流");
    EXPECT_EQ(analog[8].reg, 108);
    EXPECT_EQ(analog[8].name, "电池房温度");
    // The table's unit column as documented, and what each register measures.
    for (const auto& [reg, documented, physical] :
         {std::tuple{104, "A", "V"}, {105, "V", "A"}, {107, "V", "A"}, {108, "V", "°C"}}) {
        EXPECT_EQ(analog[reg - 100].unit, documented) << reg;
        EXPECT_EQ(analog[reg - 100].physicalUnit, physical) << reg;
    }
    const auto bits = BitColumns();
    ASSERT_EQ(bits.size(), 15u);
    EXPECT_EQ(bits[0].unit, "0：自动，1：手动");
    EXPECT_EQ(bits[14].name, "交流停电");
    EXPECT_EQ(GbkToUtf8(ExceptionName(0x02)), "非法数据地址");
    EXPECT_EQ(GbkToUtf8("A\xFF"
                        "B"),
              "A\xEF\xBF\xBD"
              "B");  // 0xFF is no GBK byte
}

TEST(Readings, DecodeGivesTheReadPagesValues) {
    // raw 32768 shows 0.0, raw 45874 200.0, as on the read page.
    Bytes reply = {1, 3, 18};
    for (int i = 0; i < 9; ++i) {
        const int raw = i == 3 ? 45874 : 32768;
        reply.push_back(static_cast<std::uint8_t>(raw >> 8));
        reply.push_back(static_cast<std::uint8_t>(raw));
    }
    reply = WithCrc(reply);
    const auto values =
        DecodeReadings(ReadCommand::Analog03, reply.data(), static_cast<int>(reply.size()));
    ASSERT_EQ(values.size(), 9u);
    EXPECT_EQ(values[0].text, "0.0");
    EXPECT_EQ(values[3].text, "200.0");
    EXPECT_DOUBLE_EQ(values[3].value, 200.0);
    EXPECT_EQ(values[3].name, "合闸母线电压");

    const Bytes bits = WithCrc({1, 1, 2, 0x02, 0x40});  // bits 1 and 14
    const auto status =
        DecodeReadings(ReadCommand::Coils01, bits.data(), static_cast<int>(bits.size()));
    ASSERT_EQ(status.size(), 15u);  // the sixteenth bit has no signal
    EXPECT_EQ(status[1].value, 1);
    EXPECT_EQ(status[14].value, 1);
    EXPECT_EQ(status[0].text, "0");
}

TEST(ControlCommands, RequestsOfEveryCommand) {
    struct Case {
        WriteRequest got;
        int function, address, value;
    };
    const Case cases[] = {
        {SystemModeRequest(SystemMode::Manual), 5, 200, 0xFF00},
        {SystemModeRequest(SystemMode::Automatic), 5, 200, 0x0000},
        {SystemModeRequest(SystemMode::FloatCharge), 5, 201, 0xFF00},
        {SystemModeRequest(SystemMode::EqualizeCharge), 5, 201, 0x0000},
        {ModuleRequest(0, ModuleSetting::Voltage, 234.1f), 6, 310, 48109},
        {ModuleRequest(20, ModuleSetting::CurrentLimit, 100.0f), 6, 371, 39321},
        {ModuleRequest(2, ModuleSetting::On), 6, 318, 0x0000},
        {ModuleRequest(2, ModuleSetting::Off), 6, 318, 0xFF00},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(c.got.function, c.function);
        EXPECT_EQ(c.got.address, c.address);
        EXPECT_EQ(c.got.value, c.value) << c.address;
    }
}
