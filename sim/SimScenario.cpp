#include "sim/SimScenario.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>

#include "unit/Alarms.h"

namespace {

constexpr const char* kManualEvent = "manual";      // bit 0 to 1: manual operation
constexpr const char* kEqualizeEvent = "equalize";  // bit 1 to 0: equalize charge
constexpr const char* kMainsEvent = "ac_power_failure";

// "30s", "2m", "1.5s", "500ms", "1h" in ms, or below 0 when malformed.
double DurationMs(const std::string& text) {
    errno = 0;
    char* end = nullptr;
    const double number = std::strtod(text.c_str(), &end);
    if (end == text.c_str() || errno != 0 || !(number >= 0) || text[0] == '+' || text[0] == '-') {
        return -1;
    }
    const std::string unit(end);
    const double scale = unit == "ms" ? 1 : unit == "s" ? 1e3 : unit == "m" ? 60e3
                         : unit == "h" ? 3600e3 : -1;
    return scale < 0 ? -1 : number * scale;
}

std::uint16_t Set(std::uint16_t word, std::uint16_t mask, bool on) {
    return static_cast<std::uint16_t>(on ? word | mask : word & ~mask);
}

}  // namespace

bool ParseSimEvent(const std::string& text, ScenarioEvent* planned, std::string* error) {
    const std::size_t at = text.find('@');
    const std::size_t plus = text.find('+', at == std::string::npos ? 0 : at);
    *error = text + " is not ID@START[+DURATION] (e.g. ac_power_failure@30s+2m)";
    if (at == std::string::npos) {
        return false;
    }
    ScenarioEvent s;
    s.id = text.substr(0, at);
    if (s.id == kManualEvent) {
        s.bit = 0;
        s.value = true;
    } else if (s.id == kEqualizeEvent) {
        s.bit = 1;
        s.value = false;
    } else if (const BitMeaning* alarm = AlarmById(s.id)) {
        s.bit = alarm->bit;
        s.value = alarm->raisingValue != 0;
    } else {
        *error = s.id + " is no event: an alarm id (ac_power_failure, feeder_trip, ...; see "
                        "--help), manual or equalize";
        return false;
    }
    s.startMs = DurationMs(text.substr(at + 1, plus == std::string::npos ? plus : plus - at - 1));
    s.durationMs = plus == std::string::npos ? 0 : DurationMs(text.substr(plus + 1));
    if (s.startMs < 0 || s.durationMs < 0) {
        return false;
    }
    if (plus == std::string::npos) {
        s.durationMs = -1;
    }
    *planned = s;
    error->clear();
    return true;
}

CSimScenario::CSimScenario(std::vector<ScenarioEvent> events) {
    for (ScenarioEvent& e : events) {
        m_events.push_back({std::move(e), Phase::Waiting});
    }
}

void CSimScenario::Advance(double nowMs, CSimUnit& unit) {
    bool mains = false;
    double outageS = -1;  // the longest AC power failure going on
    for (Track& t : m_events) {
        const ScenarioEvent& e = t.planned;
        const std::uint16_t mask = static_cast<std::uint16_t>(1u << e.bit);
        if (t.phase == Phase::Waiting && nowMs >= e.startMs) {
            t.phase = Phase::On;
            unit.SetStatusWord(Set(unit.StatusWord(), mask, e.value));
        }
        if (t.phase == Phase::On && e.durationMs >= 0 && nowMs >= e.startMs + e.durationMs) {
            t.phase = Phase::Over;
            unit.SetStatusWord(Set(unit.StatusWord(), mask, !e.value));
        }
        if (e.id == kMainsEvent) {
            mains = true;
            if (t.phase == Phase::On) {
                outageS = std::max(outageS, (nowMs - e.startMs) / 1000);
            }
        }
    }
    if (mains) {
        unit.SetMainsOutage(outageS);
    }
}
