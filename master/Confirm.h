// The read-back after a system command: "manual", "auto", "float" and
// "equalize" are confirmed by reading the status bits until bit 0 (系统运行方式,
// 1 manual) or bit 1 (电池均浮充状态, 1 float) holds what was commanded. A
// reply to the write only says the unit took the frame; the read-back says it
// acted on it, and on a line that echoes it also catches a silent unit whose
// echo passed for the reply (the first write after opening, before the link
// could learn that the line echoes). Module commands have no read-back in the
// unit's map and are not confirmed.
#pragma once

#include <string>

#include "master/UnitLink.h"
#include "unit/ControlCommands.h"

// Reads the status bits (function 01) until the commanded bit holds its value
// or windowMs have passed (at least one read). True when it held (*why
// empty); otherwise *why says what was read instead, or why no read got a
// reply.
bool ConfirmSystemMode(UnitLink& link, SystemMode mode, int windowMs, std::string* why);
