#include "unit/Alarms.h"

#include <algorithm>

#include "unit/Readings.h"

namespace {

constexpr Severity kCrit = Severity::Critical;
constexpr Severity kWarn = Severity::Warning;

// Bit order, as the unit reports them. Critical: the panel has lost or is
// about to lose its supply to the protection and control it feeds. Warning:
// the system still works, someone must act soon (an insulation drop is a DC
// earth fault: a second one makes protection misoperate).
const std::vector<BitMeaning> kBits = {
    {0, BitKind::Mode, "operation_mode", "Operation mode", {"automatic", "manual"}, kWarn, 1},
    {1, BitKind::Mode, "charge_mode", "Battery charge mode", {"equalize", "float"}, kWarn, 1},
    {2, BitKind::Alarm, "insulation_drop", "Insulation drop", {"normal", "dropped"}, kWarn, 1},
    {3, BitKind::Alarm, "cell_voltage_abnormal", "Cell voltage abnormal", {"normal", "abnormal"},
     kWarn, 1},
    {4, BitKind::Alarm, "module_comm_offline", "Charger module communication offline",
     {"online", "offline"}, kWarn, 1},
    {5, BitKind::Alarm, "insulation_meter_offline", "Insulation monitor offline",
     {"online", "offline"}, kWarn, 1},
    {6, BitKind::Alarm, "battery_meter_offline", "Battery monitor offline", {"online", "offline"},
     kWarn, 1},
    {7, BitKind::Alarm, "bus_voltage_abnormal", "Bus voltage abnormal", {"normal", "abnormal"},
     kCrit, 1},
    {8, BitKind::Alarm, "battery_voltage_abnormal", "Battery voltage abnormal",
     {"normal", "abnormal"}, kCrit, 1},
    {9, BitKind::Alarm, "charge_overcurrent", "Battery charge overcurrent",
     {"normal", "overcurrent"}, kWarn, 1},
    {10, BitKind::Alarm, "battery_fuse_blown", "Battery fuse blown", {"normal", "blown"}, kCrit, 1},
    {11, BitKind::Alarm, "feeder_trip", "Feeder branch tripped", {"normal", "tripped"}, kCrit, 1},
    {12, BitKind::Alarm, "ac_input_breaker_trip", "AC input breaker tripped",
     {"normal", "tripped"}, kCrit, 1},
    {13, BitKind::Alarm, "surge_protector_fault", "Surge protector fault", {"normal", "fault"},
     kWarn, 1},
    {14, BitKind::Alarm, "ac_power_failure", "AC power failure", {"normal", "failure"}, kCrit, 1},
};

// Registers 100..108: the AC input's three line-to-line voltages, the closing
// and control bus voltages, the load current, the battery string's voltage and
// current (negative while it discharges), the battery room's temperature.
constexpr const char* kMeasurementIds[] = {
    "ac_voltage_ab",       "ac_voltage_bc",   "ac_voltage_ca",
    "closing_bus_voltage", "control_bus_voltage", "load_current",
    "battery_voltage",     "battery_current", "battery_room_temperature",
};
constexpr int kFirstRegister = 100;
constexpr int kMeasurements = sizeof kMeasurementIds / sizeof kMeasurementIds[0];

}  // namespace

const std::vector<BitMeaning>& BitMeanings() {
    return kBits;
}

std::vector<BitMeaning> AlarmMeanings() {
    std::vector<BitMeaning> alarms;
    std::copy_if(kBits.begin(), kBits.end(), std::back_inserter(alarms),
                 [](const BitMeaning& m) { return m.kind == BitKind::Alarm; });
    return alarms;
}

const BitMeaning* MeaningOfBit(int bit) {
    return bit >= 0 && bit < static_cast<int>(kBits.size()) ? &kBits[static_cast<std::size_t>(bit)]
                                                            : nullptr;
}

const BitMeaning* AlarmById(const std::string& id) {
    for (const BitMeaning& m : kBits) {
        if (m.kind == BitKind::Alarm && id == m.id) {
            return &m;
        }
    }
    return nullptr;
}

std::string ChineseName(const BitMeaning& meaning) {
    return BitColumns()[static_cast<std::size_t>(meaning.bit)].name;
}

const char* SeverityWord(Severity severity) {
    return severity == Severity::Critical ? "critical" : "warning";
}

const char* MeasurementId(int reg) {
    const int i = reg - kFirstRegister;
    return i >= 0 && i < kMeasurements ? kMeasurementIds[i] : "";
}

int MeasurementRegister(const std::string& id) {
    for (int i = 0; i < kMeasurements; ++i) {
        if (id == kMeasurementIds[i]) {
            return kFirstRegister + i;
        }
    }
    return -1;
}

std::vector<RaisedAlarm> RaisedAlarms(const std::vector<SignalReading>& readings) {
    std::vector<RaisedAlarm> raised;
    for (const SignalReading& r : readings) {
        const BitMeaning* m = r.analog ? nullptr : MeaningOfBit(r.reg);
        if (m != nullptr && m->Raised(r.value)) {
            raised.push_back({m, r.name.empty() ? ChineseName(*m) : r.name});
        }
    }
    std::stable_sort(raised.begin(), raised.end(), [](const RaisedAlarm& a, const RaisedAlarm& b) {
        return a.meaning->severity == Severity::Critical && b.meaning->severity != Severity::Critical;
    });
    return raised;
}
