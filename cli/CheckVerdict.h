// What k40ctl check says of one state of the unit, by the Monitoring Plugins
// development guidelines: a state (0 OK, 1 WARNING, 2 CRITICAL, 3 UNKNOWN),
// one status line "K40 CRITICAL - 交流停电 ac_power_failure, ..." with the
// performance data after '|', and more lines with the alarms' since.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "cli/CtlOptions.h"
#include "unit/SignalReading.h"

constexpr int kCheckOk = 0, kCheckWarning = 1, kCheckCritical = 2, kCheckUnknown = 3;

struct CheckVerdict {
    int state = kCheckUnknown;
    std::string output;  // the lines to print, each ending in '\n'
};

// The unit answered with these readings (the nine measurements and the
// fifteen bits). since: alarm id to the time it was first seen, when known.
// Raised critical alarms and --critical ranges crossed make it CRITICAL,
// warning alarms and --warning ranges WARNING; the worst wins. Every
// measurement goes into the performance data, labelled by its English id,
// without a unit (V, A and °C are none the guidelines allow), with the
// ranges given for it as warn and crit.
CheckVerdict JudgeReadings(const std::vector<SignalReading>& readings, const CheckArgs& args,
                           const std::map<std::string, std::string>& since);

// A state without readings: "K40 CRITICAL - no reply ...", "K40 UNKNOWN - ...".
CheckVerdict PlainVerdict(int state, const std::string& text);
