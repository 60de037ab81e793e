// The alarm table against what the panel's engineers call each bit: id,
// Chinese name (taken from the signal tables), severity; the modes are never
// alarms; the measurements' ids name the right registers.
#include <gtest/gtest.h>

#include <set>
#include <string>

#include "unit/Alarms.h"
#include "unit/Readings.h"

namespace {

struct AlarmRow {
    const char* id;
    int bit;
    const char* chinese;
    Severity severity;
};

const AlarmRow kAlarms[] = {
    {"insulation_drop", 2, "系统绝缘下降", Severity::Warning},
    {"cell_voltage_abnormal", 3, "电池单体电压异常", Severity::Warning},
    {"module_comm_offline", 4, "充电模块通讯离线", Severity::Warning},
    {"insulation_meter_offline", 5, "绝缘仪通讯离线", Severity::Warning},
    {"battery_meter_offline", 6, "电池仪通讯离线", Severity::Warning},
    {"bus_voltage_abnormal", 7, "母线电压异常", Severity::Critical},
    {"battery_voltage_abnormal", 8, "电池组电压异常", Severity::Critical},
    {"charge_overcurrent", 9, "电池组充电过流", Severity::Warning},
    {"battery_fuse_blown", 10, "电池组熔芯熔断", Severity::Critical},
    {"feeder_trip", 11, "馈出支路跳闸", Severity::Critical},
    {"ac_input_breaker_trip", 12, "交流输入空开跳闸", Severity::Critical},
    {"surge_protector_fault", 13, "防雷器故障", Severity::Warning},
    {"ac_power_failure", 14, "交流停电", Severity::Critical},
};

TEST(Alarms, EachIdNamesItsBitAndSeverity) {
    ASSERT_EQ(AlarmMeanings().size(), std::size(kAlarms));
    for (const AlarmRow& row : kAlarms) {
        const BitMeaning* m = AlarmById(row.id);
        ASSERT_NE(m, nullptr) << row.id;
        EXPECT_EQ(m->bit, row.bit) << row.id;
        EXPECT_EQ(ChineseName(*m), row.chinese) << row.id;
        EXPECT_EQ(m->severity, row.severity) << row.id;
        EXPECT_TRUE(m->Raised(1)) << row.id;
        EXPECT_FALSE(m->Raised(0)) << row.id;
        EXPECT_STRNE(m->states[0], m->states[1]) << row.id;
    }
}

TEST(Alarms, TheModesAreStatesNotAlarms) {
    for (int bit : {0, 1}) {
        const BitMeaning* m = MeaningOfBit(bit);
        ASSERT_NE(m, nullptr);
        EXPECT_EQ(m->kind, BitKind::Mode);
        EXPECT_FALSE(m->Raised(0) || m->Raised(1));
        EXPECT_EQ(AlarmById(m->id), nullptr);
    }
    EXPECT_STREQ(MeaningOfBit(0)->states[1], "manual");
    EXPECT_STREQ(MeaningOfBit(1)->states[1], "float");
    EXPECT_EQ(MeaningOfBit(15), nullptr);
}

TEST(Alarms, RaisedAlarmsComeCriticalFirst) {
    // 0x4006: float charge (a mode), 系统绝缘下降 and 交流停电.
    std::vector<SignalReading> bits = BitColumns();
    for (SignalReading& b : bits) {
        b.value = (0x4006 >> b.reg) & 1;
    }
    const std::vector<RaisedAlarm> raised = RaisedAlarms(bits);
    ASSERT_EQ(raised.size(), 2u);
    EXPECT_STREQ(raised[0].meaning->id, "ac_power_failure");
    EXPECT_EQ(raised[0].name, "交流停电");
    EXPECT_STREQ(raised[1].meaning->id, "insulation_drop");
}

TEST(Alarms, MeasurementIdsNameTheirRegisters) {
    const std::vector<SignalReading> analog = AnalogColumns();
    const std::pair<const char*, const char*> expected[] = {
        {"ac_voltage_ab", "屏内交流输入AB电压"}, {"ac_voltage_bc", "屏内交流输入BC电压"},
        {"ac_voltage_ca", "屏内交流输入CA电压"}, {"closing_bus_voltage", "合闸母线电压"},
        {"control_bus_voltage", "控制母线电压"},   {"load_current", "负载电流"},
        {"battery_voltage", "电池组电压"},         {"battery_current", "电池组电流"},
        {"battery_room_temperature", "电池房温度"},
    };
    ASSERT_EQ(analog.size(), std::size(expected));
    for (std::size_t i = 0; i < analog.size(); ++i) {
        EXPECT_STREQ(MeasurementId(analog[i].reg), expected[i].first);
        EXPECT_EQ(analog[i].name, expected[i].second);
        EXPECT_EQ(MeasurementRegister(expected[i].first), analog[i].reg);
    }
    EXPECT_EQ(MeasurementRegister("ac_power_failure"), -1);
    EXPECT_STREQ(MeasurementId(109), "");
}

}  // namespace
