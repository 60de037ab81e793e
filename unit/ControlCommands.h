// The unit's write commands as requests: which function, register or coil and
// value each one sends.
//
// System remote control (function 05, write single coil):
//   coil 200: FF00 manual operation, 0000 automatic;
//   coil 201: FF00 float charge, 0000 equalize charge.
// Rectifier module m = 0..20 (function 06, write single register), three
// consecutive registers per module from 310 on:
//   310 + 3m output-voltage setpoint code (0..300 V),
//   311 + 3m current-limit setpoint code (0..110 %),
//   312 + 3m 0000 on, FF00 off.
// The unit answers a write with the echo of the request.
#pragma once

#include <cstdint>

constexpr float kMaxModuleVoltage = 300.0f;
constexpr float kMaxModuleCurrent = 110.0f;
constexpr int kMaxModule = 20;  // 21 modules, 0..20

enum class SystemMode { Manual, Automatic, FloatCharge, EqualizeCharge };
enum class ModuleSetting { Voltage, CurrentLimit, On, Off };

// One single-coil or single-register write: function, address, value.
struct WriteRequest {
    std::uint8_t function = 0;
    int address = 0;
    std::uint16_t value = 0;
};

WriteRequest SystemModeRequest(SystemMode mode);
// setpoint: volts (Voltage) or percent (CurrentLimit); unused for On and Off.
// The module number and setpoint are taken as given: the callers check ranges.
WriteRequest ModuleRequest(int module, ModuleSetting setting, float setpoint = 0.0f);

// The register value of a setpoint (volts or percent): 32768 stands for 0 and
// each unit adds 65.536 counts, code = trunc((v * 0.002 + 1.0) * 32768.0),
// worked in double from the single-precision value, so 234.1 (234.100006 as a
// float) gives 48109. Meant for the checked ranges (0..300 V, 0..110 %), whose
// codes fit 16 bits; anything beyond is held at the nearest end of 0..65535.
std::uint16_t SetpointCode(float value);
