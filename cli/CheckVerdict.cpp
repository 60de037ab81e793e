#include "cli/CheckVerdict.h"

#include <algorithm>

#include "formats/RecordFormat.h"
#include "unit/Alarms.h"

namespace {

constexpr const char* kStateWords[] = {"OK", "WARNING", "CRITICAL", "UNKNOWN"};

std::string PluginLine(int state, const std::string& text) {
    return std::string("K40 ") + kStateWords[state] + " - " + text;
}

// The range given for a register, or nullptr.
const CheckRange* RangeFor(const std::vector<CheckThreshold>& thresholds, int reg) {
    for (const CheckThreshold& t : thresholds) {
        if (t.reg == reg) {
            return &t.range;
        }
    }
    return nullptr;
}

// One measurement's performance data, 'label'=value;warn;crit, and what its
// ranges say of it: the state and, when one is crossed, the words.
struct Measured {
    std::string perf;
    int state = kCheckOk;
    std::string crossed;
};

Measured Measure(const SignalReading& r, const CheckArgs& args) {
    Measured m;
    const std::string id = MeasurementId(r.reg);
    const CheckRange* warn = RangeFor(args.warnings, r.reg);
    const CheckRange* crit = RangeFor(args.criticals, r.reg);
    m.perf = id + "=" + r.text + ";" + (warn ? warn->text : "") + ";" + (crit ? crit->text : "");
    while (m.perf.back() == ';') {
        m.perf.pop_back();  // empty fields at the end may go
    }
    const double value = ShownValue(r);
    if (crit != nullptr && crit->Alerts(value)) {
        m.state = kCheckCritical;
        m.crossed = id + " " + r.text + " (critical " + crit->text + ")";
    } else if (warn != nullptr && warn->Alerts(value)) {
        m.state = kCheckWarning;
        m.crossed = id + " " + r.text + " (warning " + warn->text + ")";
    }
    return m;
}

}  // namespace

CheckVerdict PlainVerdict(int state, const std::string& text) {
    return {state, PluginLine(state, text) + "\n"};
}

CheckVerdict JudgeReadings(const std::vector<SignalReading>& readings, const CheckArgs& args,
                           const std::map<std::string, std::string>& since) {
    int state = kCheckOk;
    std::vector<std::string> said, more;
    for (const RaisedAlarm& a : RaisedAlarms(readings)) {
        const bool critical = a.meaning->severity == Severity::Critical;
        state = std::max(state, critical ? kCheckCritical : kCheckWarning);
        said.push_back(a.name + " " + a.meaning->id);
        const auto at = since.find(a.meaning->id);
        more.push_back(std::string(a.meaning->id) + ": " + a.meaning->englishName + ", " +
                       SeverityWord(a.meaning->severity) +
                       (at != since.end() ? ", since " + at->second : std::string()));
    }
    std::string perf;
    for (const SignalReading& r : readings) {
        if (!r.analog || *MeasurementId(r.reg) == '\0') {
            continue;
        }
        const Measured m = Measure(r, args);
        perf += (perf.empty() ? "" : " ") + m.perf;
        state = std::max(state, m.state);
        if (!m.crossed.empty()) {
            said.push_back(m.crossed);
        }
    }
    std::string text;
    for (const std::string& s : said) {
        text += (text.empty() ? "" : ", ") + s;
    }
    CheckVerdict v;
    v.state = state;
    v.output = PluginLine(state, text.empty() ? "no active alarms" : text) +
               (perf.empty() ? "" : " | " + perf) + "\n";
    for (const std::string& line : more) {
        v.output += line + "\n";
    }
    return v;
}
