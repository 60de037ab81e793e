// Sending the unit's commands as the control page does, and confirming a
// system command by reading its status bit back: one way for k40ctl's
// command line and for serve's POST /api/v1/command.
#pragma once

#include <string>

#include "master/UnitLink.h"
#include "unit/CommandCheck.h"

struct CommandResult {
    ReadRecord record;       // the write's exchange
    bool readBack = false;   // a system command's status bit was read back
    std::string unconfirmed; // why the read-back did not show it; empty otherwise
};

// Sends the command as the control page does (only the voltage setpoint
// purges first) and, for a system command that got a reply and with
// confirm, reads the status bits back within windowMs.
CommandResult RunUnitCommand(UnitLink& link, const UnitCommand& command, bool confirm,
                             int windowMs);
