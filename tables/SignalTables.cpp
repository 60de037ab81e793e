// The signal tables as the monitoring unit's register map defines them.
//
// This file is compiled with -fexec-charset=GBK: the literals below are
// written as UTF-8 and stored as GBK bytes, which is what the list view of the
// read page receives. The numbers and units are the unit's own data and stand
// record by record as the unit documents them, including its quirks: the
// status numbers skip 11 and repeat 15, the control bus voltage carries "A",
// and the current and temperature records carry "V".
#include "tables/SignalTables.h"

// Without the GBK execution charset the texts would be UTF-8 and the list view
// would show mojibake: refuse to build instead. "屏" is C6 C1 in GBK.
static_assert(sizeof("屏") == 3 && static_cast<unsigned char>("屏"[0]) == 0xC6 &&
                  static_cast<unsigned char>("屏"[1]) == 0xC1,
              "SignalTables.cpp must be compiled with -fexec-charset=GBK");

// Holding registers 100 to 108; record r belongs to register 100 + r.
const SignalRecord AnalogSignals[nAnalogSignals] = {
    {1, "屏内交流输入AB电压", 600.0f, "V"}, {2, "屏内交流输入BC电压", 600.0f, "V"},
    {3, "屏内交流输入CA电压", 600.0f, "V"}, {4, "合闸母线电压", 600.0f, "V"},
    {5, "控制母线电压", 600.0f, "A"},       {6, "负载电流", 600.0f, "V"},
    {7, "电池组电压", 600.0f, "V"},         {8, "电池组电流", 600.0f, "V"},
    {21, "电池房温度", 600.0f, "V"},        {0, "", 0.0f, ""},
};

// Status bits 0 to 14 (coils 0 to 14, or bits of holding register 0); record
// 15 stands for the sixteenth bit of the two data bytes, which has no signal.
const SignalRecord DigitalSignals[nDigitalSignals] = {
    {1, "系统运行方式", 0.0f, "0：自动，1：手动"},
    {2, "电池均浮充状态", 0.0f, "0：均充，1：浮充"},
    {3, "系统绝缘下降", 0.0f, "0：正常，1：下降"},
    {4, "电池单体电压异常", 0.0f, "0：正常，1：异常"},
    {5, "充电模块通讯离线", 0.0f, "0：在线，1：离线"},
    {6, "绝缘仪通讯离线", 0.0f, "0：在线，1：离线"},
    {7, "电池仪通讯离线", 0.0f, "0：在线，1：离线"},
    {8, "母线电压异常", 0.0f, "0：正常，1：异常"},
    {9, "电池组电压异常", 0.0f, "0：正常，1：异常"},
    {10, "电池组充电过流", 0.0f, "0：正常，1：过流"},
    {12, "电池组熔芯熔断", 0.0f, "0：正常，1：熔断"},
    {13, "馈出支路跳闸", 0.0f, "0：正常，1：跳闸"},
    {14, "交流输入空开跳闸", 0.0f, "0：正常，1：跳闸"},
    {15, "防雷器故障", 0.0f, "0：正常，1：故障"},
    {15, "交流停电", 0.0f, "0：正常，1：故障"},
    {0, "", 0.0f, ""},
};
