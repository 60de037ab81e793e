// k40sim's scenarios: status bits that come and go at set times after the
// start (--event ID@START[+DURATION]), so that an alarm can be watched being
// raised and cleared end to end. Times count from the simulator's start, the
// time base of its trace. An event is applied as an edge: at START its bit is
// set to the event's value, at START + DURATION back to the other; a coil
// write to 200 or 201 in between changes a mode bit as it always does.
//
// The AC power failure also moves the measurements: while it lasts the AC
// inputs read nearly nothing, the battery carries the load and its voltage and
// the bus voltages sag slowly; all come back to normal when it clears.
#pragma once

#include <string>
#include <vector>

#include "sim/SimUnit.h"

struct ScenarioEvent {
    std::string id;          // an alarm id, "manual" or "equalize"
    int bit = 0;             // the status bit it sets
    bool value = true;       // the bit's value while the event lasts
    double startMs = 0;
    double durationMs = -1;  // below 0: the event never ends
};

// ID@START[+DURATION], times as 30s, 2m, 1.5s, 500ms or 1h. False with the
// reason in *error.
bool ParseSimEvent(const std::string& text, ScenarioEvent* planned, std::string* error);

class CSimScenario {
public:
    explicit CSimScenario(std::vector<ScenarioEvent> events);

    // Applies to the unit what has fallen due by nowMs (ms after the start):
    // before each request is answered, so that the reply shows it.
    void Advance(double nowMs, CSimUnit& unit);
    bool Empty() const { return m_events.empty(); }

private:
    enum class Phase { Waiting, On, Over };
    struct Track {
        ScenarioEvent planned;
        Phase phase = Phase::Waiting;
    };
    std::vector<Track> m_events;
};
