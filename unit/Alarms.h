// What the unit's fifteen status bits mean to the people who run the DC
// system, and the English ids of its nine measurements. Thirteen bits are
// alarms of the panel (交流停电, 馈出支路跳闸, ...); bits 0 and 1 are operating
// modes (自动/手动, 均充/浮充), states that are never alarms. The Chinese names
// and legends stay in the signal tables; this table adds what the tables do not
// say: the kind, the value that raises an alarm, a stable English id for
// metrics, rules and check plugins, English words for the name and the two
// states, and the severity a site gets unless it chooses another.
#pragma once

#include <string>
#include <vector>

#include "unit/SignalReading.h"

enum class BitKind { Mode, Alarm };
enum class Severity { Critical, Warning };

struct BitMeaning {
    int bit = 0;
    BitKind kind = BitKind::Alarm;
    const char* id = "";           // "ac_power_failure"; a mode: "operation_mode"
    const char* englishName = "";  // "AC power failure"
    const char* states[2] = {"", ""};  // English words for the values 0 and 1
    Severity severity = Severity::Warning;  // alarms only
    int raisingValue = 1;                   // alarms only: the value that raises it

    bool Raised(double value) const {
        return kind == BitKind::Alarm && (value != 0) == (raisingValue != 0);
    }
};

// The fifteen status bits, in bit order (bit r at index r).
const std::vector<BitMeaning>& BitMeanings();
// The thirteen alarms, in bit order.
std::vector<BitMeaning> AlarmMeanings();
// The bit's meaning, or nullptr for a bit outside 0..14.
const BitMeaning* MeaningOfBit(int bit);
// The alarm with this id, or nullptr.
const BitMeaning* AlarmById(const std::string& id);
// The bit's Chinese name from the signal tables, UTF-8 ("交流停电").
std::string ChineseName(const BitMeaning& meaning);

// "critical" or "warning".
const char* SeverityWord(Severity severity);

// The English id of analog register 100..108 ("battery_current"), or "".
const char* MeasurementId(int reg);
// The register 100..108 of a measurement id, or -1.
int MeasurementRegister(const std::string& id);

// An alarm a scan's status bits raise.
struct RaisedAlarm {
    const BitMeaning* meaning = nullptr;
    std::string name;  // Chinese, UTF-8
};

// The alarms the status bits among these readings raise, critical ones first,
// then in bit order. Analog readings and bits the readings lack are skipped.
std::vector<RaisedAlarm> RaisedAlarms(const std::vector<SignalReading>& readings);
