#include "unit/ControlCommands.h"

#include <cmath>

namespace {

constexpr std::uint8_t kWriteCoil = 0x05;
constexpr std::uint8_t kWriteRegister = 0x06;

// Coil values: FF00 sets the state the unit's status legends call 1.
constexpr std::uint16_t kCoilOn = 0xFF00;
constexpr std::uint16_t kCoilOff = 0x0000;
constexpr int kManualCoil = 200;  // 1 = manual operation, 0 = automatic
constexpr int kFloatCoil = 201;   // 1 = float charge, 0 = equalize charge

constexpr int kModuleBase = 310;
constexpr int kRegistersPerModule = 3;
constexpr int kVoltageOffset = 0;
constexpr int kCurrentOffset = 1;
constexpr int kOnOffOffset = 2;
constexpr std::uint16_t kModuleOn = 0x0000;
constexpr std::uint16_t kModuleOff = 0xFF00;

}  // namespace

WriteRequest SystemModeRequest(SystemMode mode) {
    switch (mode) {
        case SystemMode::Manual:
            return {kWriteCoil, kManualCoil, kCoilOn};
        case SystemMode::Automatic:
            return {kWriteCoil, kManualCoil, kCoilOff};
        case SystemMode::FloatCharge:
            return {kWriteCoil, kFloatCoil, kCoilOn};
        case SystemMode::EqualizeCharge:
            return {kWriteCoil, kFloatCoil, kCoilOff};
    }
    return {};
}

WriteRequest ModuleRequest(int module, ModuleSetting setting, float setpoint) {
    const int base = kModuleBase + kRegistersPerModule * module;
    switch (setting) {
        case ModuleSetting::Voltage:
            return {kWriteRegister, base + kVoltageOffset, SetpointCode(setpoint)};
        case ModuleSetting::CurrentLimit:
            return {kWriteRegister, base + kCurrentOffset, SetpointCode(setpoint)};
        case ModuleSetting::On:
            return {kWriteRegister, base + kOnOffOffset, kModuleOn};
        case ModuleSetting::Off:
            return {kWriteRegister, base + kOnOffOffset, kModuleOff};
    }
    return {};
}

std::uint16_t SetpointCode(float value) {
    // Multiply, add, multiply, in double and in this order: the unit's codes
    // for values like 234.1 depend on it.
    const double code = std::trunc((static_cast<double>(value) * 0.002 + 1.0) * 32768.0);
    if (!(code >= 0.0)) {  // negative, or not a number
        return 0;
    }
    if (code > 65535.0) {
        return 65535;
    }
    return static_cast<std::uint16_t>(code);
}
