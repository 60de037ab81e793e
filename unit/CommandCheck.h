// The unit's commands as k40ctl takes them, from its command line and from
// serve's POST /api/v1/command alike: one check of the ranges, those of the
// control page, before anything may be sent. Pure text work.
#pragma once

#include <string>
#include <vector>

#include "unit/ControlCommands.h"

struct UnitCommand {
    bool module = false;  // a rectifier-module command, else a system command
    SystemMode mode = SystemMode::Manual;
    int moduleNumber = 0;
    ModuleSetting setting = ModuleSetting::On;
    float setpoint = 0.0f;  // volts or percent
};

// "manual", "auto", "float", "equalize"; false for any other word.
bool SystemModeNamed(const std::string& word, SystemMode* mode);
// The command's own words: "manual", "module 3 voltage 234.1".
std::string CommandWords(const UnitCommand& command);

// A module command from its number, setting ("on", "off", "voltage",
// "current") and the value as text (none for on and off). Empty when it is
// valid (*out set); otherwise the reason, and nothing may be sent:
// "module voltage: 300.001 is not a number in 0..300".
std::string MakeModuleCommand(int module, const std::string& setting,
                              const std::vector<std::string>& value, UnitCommand* out);
