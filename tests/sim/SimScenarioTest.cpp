// k40sim's scenarios: what --event accepts, and the mode bits an event and a
// coil write both change, in the order they come.
#include "sim/SimScenario.h"

#include <gtest/gtest.h>

#include "sim/SimEngine.h"
#include "tests/support/TestFrames.h"

namespace {

struct EventCase {
    const char* text;
    bool ok;
    // What a refused text leaves out.
    int bit = 0;
    bool value = false;
    double startMs = 0, durationMs = 0;
};

const EventCase kEvents[] = {
    {"ac_power_failure@5s+20s", true, 14, true, 5000, 20000},
    {"insulation_drop@1.5s", true, 2, true, 1500, -1},
    {"manual@2m+500ms", true, 0, true, 120000, 500},
    {"equalize@0s+1h", true, 1, false, 0, 3600000},
    {"feeder_trip@0ms+0s", true, 11, true, 0, 0},
    {"operation_mode@1s", false},  // a mode's id is no event: manual and equalize are
    {"fire@1s", false},
    {"feeder_trip", false},
    {"feeder_trip@", false},
    {"feeder_trip@1", false},
    {"feeder_trip@-1s", false},
    {"feeder_trip@1s+", false},
    {"feeder_trip@1s+2d", false},
};

TEST(SimScenario, ParsesEvents) {
    for (const EventCase& c : kEvents) {
        ScenarioEvent planned;
        std::string error;
        ASSERT_EQ(ParseSimEvent(c.text, &planned, &error), c.ok) << c.text << ": " << error;
        if (!c.ok) {
            EXPECT_FALSE(error.empty()) << c.text;
            continue;
        }
        EXPECT_EQ(planned.bit, c.bit) << c.text;
        EXPECT_EQ(planned.value, c.value) << c.text;
        EXPECT_DOUBLE_EQ(planned.startMs, c.startMs) << c.text;
        EXPECT_DOUBLE_EQ(planned.durationMs, c.durationMs) << c.text;
    }
}

std::uint16_t StatusAt(CSimEngine& engine, double ms) {
    const Bytes request = Request(1, 3, 0, 1);
    const std::vector<SimEvent> events = engine.Feed(request.data(), request.size(), ms);
    EXPECT_EQ(events.size(), 1u);
    return engine.Unit().StatusWord();
}

TEST(SimScenario, CoilWritesDuringAnEventChangeTheModeAsAlways) {
    SimEngineConfig config;
    config.drift = false;
    for (const char* text : {"manual@1s+2s", "equalize@1s"}) {
        ScenarioEvent planned;
        std::string error;
        ASSERT_TRUE(ParseSimEvent(text, &planned, &error));
        config.events.push_back(planned);
    }
    CSimEngine engine(config);
    EXPECT_EQ(StatusAt(engine, 999), 0x0002);   // automatic, float
    EXPECT_EQ(StatusAt(engine, 1000), 0x0001);  // manual, equalize
    const Bytes automatic = Request(1, 5, 200, 0x0000);
    engine.Feed(automatic.data(), automatic.size(), 1500);
    EXPECT_EQ(engine.Unit().StatusWord(), 0x0000);
    const Bytes manual = Request(1, 5, 200, 0xFF00);
    engine.Feed(manual.data(), manual.size(), 2000);
    EXPECT_EQ(StatusAt(engine, 2999), 0x0001);
    EXPECT_EQ(StatusAt(engine, 3000), 0x0000);  // the manual event over; equalize stays
    EXPECT_EQ(StatusAt(engine, 1e9), 0x0000);
}

}  // namespace
