// The threshold ranges of monitoring plugins (Nagios, Icinga, the Monitoring
// Plugins development guidelines): "10" alerts outside 0..10, "10:" below
// 10, "~:10" above 10, "10:20" outside 10..20, "@10:20" inside 10..20 (ends
// included). k40ctl check takes them per measurement, as ID=RANGE.
#pragma once

#include <string>

struct CheckRange {
    double start = 0;
    bool startInfinite = false;  // "~": no lower end
    double end = 0;
    bool endInfinite = false;  // "10:": no upper end
    bool inside = false;       // "@": alert inside the range, not outside
    std::string text;          // as given, for the performance data

    bool Alerts(double value) const;
};

// False for text that is no range (or whose start lies past its end).
bool ParseCheckRange(const std::string& text, CheckRange* range);

// ID=RANGE with ID a measurement's English id ("battery_voltage=200:245"):
// the register (100..108) and the range, or "" and why it is refused.
struct CheckThreshold {
    int reg = 0;
    CheckRange range;
};
std::string ParseCheckThreshold(const std::string& text, CheckThreshold* threshold);
