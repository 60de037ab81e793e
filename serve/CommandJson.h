// POST /api/v1/command's body and answer as JSON:
//   {"command":"manual"}  (also "auto", "float", "equalize")
//   {"command":"module","module":3,"action":"voltage","value":234.1}
//     (actions "voltage" V 0..300, "current" % 0..110, "on", "off")
// checked as strictly as k40ctl's command line: any other field, type or
// value is refused with the reason and nothing is sent.
#pragma once

#include <string>

#include "unit/CommandCheck.h"

// Empty when the body is a valid command (*out set); otherwise the reason.
std::string ParseCommandJson(const std::string& body, UnitCommand* out);

// The answer to a refused command: {"outcome":"refused","reason":...} and, for
// a setpoint out of range, "range":{"min","max"} (those of the control page).
std::string RefusedJson(const std::string& body, const std::string& reason);
