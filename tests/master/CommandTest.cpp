// The unit's commands on the line: a system command is confirmed only when the
// status bit it sets reads back as commanded, and a module command whose
// words are out of range never reaches the line, while the ends of each range
// send exactly the register and code the unit expects.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "master/UnitCommand.h"
#include "tests/master/FakeUnitLine.h"

namespace {

constexpr int kNoReply = -1, kException = -2;

TEST(UnitCommandConfirm, OnlyTheCommandedBitConfirms) {
    const struct {
        const char* name;
        SystemMode mode;
        bool writeAnswered;
        int statusBits;  // the read-back's first byte: bit 0 manual, bit 1 float
        bool readBack;
        const char* unconfirmed;  // the start of why; "" when confirmed
    } cases[] = {
        {"manual reads manual", SystemMode::Manual, true, 0x01, true, ""},
        {"auto reads auto", SystemMode::Automatic, true, 0x02, true, ""},
        {"equalize reads equalize", SystemMode::EqualizeCharge, true, 0x01, true, ""},
        {"manual still reads auto", SystemMode::Manual, true, 0x02, true,
         "系统运行方式 still reads 0"},
        {"float still reads equalize", SystemMode::FloatCharge, true, 0x01, true,
         "电池均浮充状态 still reads 0"},
        {"no reply to the read-back", SystemMode::Manual, true, kNoReply, true,
         "the status read got no reply within 200 ms"},
        {"exception to the read-back", SystemMode::Automatic, true, kException, true,
         "the status read got exception reply 04"},
        {"the write unanswered", SystemMode::Manual, false, 0x01, false, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        FakeUnitLine fake;
        fake.peer = [&](const Bytes& request) {
            if (request[1] == 0x05) {
                return c.writeAnswered ? Answer{request} : Answer{};
            }
            return c.statusBits == kNoReply ? Answer{}
                   : c.statusBits == kException
                       ? Answer{From(1, {0x81, 0x04})}
                       : Answer{From(1, {0x01, 2, static_cast<std::uint8_t>(c.statusBits), 0x00})};
        };
        const CommandResult r = RunUnitCommand(fake.link, UnitCommand{false, c.mode}, true, 0);
        EXPECT_EQ(r.readBack, c.readBack);
        EXPECT_EQ(fake.requests, c.readBack ? 2 : 1);
        EXPECT_EQ(r.unconfirmed.rfind(c.unconfirmed, 0), 0u) << r.unconfirmed;
        EXPECT_EQ(r.unconfirmed.empty(), *c.unconfirmed == '\0') << r.unconfirmed;
        EXPECT_EQ(r.record.finding, *c.unconfirmed    ? "not-confirmed"
                                    : c.writeAnswered ? ""
                                                      : "nothing");
    }
}

// A unit that acts a moment after it acknowledges: the read-back tries again
// every 100 ms of the link's clock while the window lasts.
TEST(UnitCommandConfirm, ReadsAgainWithinItsWindow) {
    const struct {
        int windowMs;
        int readsUntilActed;  // read-backs that still show the old mode
        bool confirmed;
        int requests;  // the write and the read-backs
    } cases[] = {
        {0, 1, false, 2},    // one read, however short the window
        {150, 1, true, 3},   // the second read sees it
        {150, 2, false, 3},  // no room for a third
        {1000, 5, true, 7},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.windowMs);
        FakeUnitLine fake;
        int reads = 0;
        fake.peer = [&](const Bytes& request) {
            if (request[1] == 0x05) {
                return Answer{request};
            }
            const std::uint8_t bits = ++reads > c.readsUntilActed ? 0x01 : 0x02;
            return Answer{From(1, {0x01, 2, bits, 0x00})};
        };
        const CommandResult r =
            RunUnitCommand(fake.link, UnitCommand{false, SystemMode::Manual}, true, c.windowMs);
        EXPECT_EQ(r.unconfirmed.empty(), c.confirmed) << r.unconfirmed;
        EXPECT_EQ(fake.requests, c.requests);
    }
}

// The words of k40ctl module (and of POST /api/v1/command) through the one
// check, then to the line as k40ctl sends them.
TEST(UnitCommandModule, RefusedWordsSendNothing) {
    const struct {
        int module;
        const char* setting;
        std::vector<std::string> value;
        int reg;  // -1: refused
        std::uint16_t code;
        int purges;  // only the voltage setpoint purges the line first
    } cases[] = {
        {0, "voltage", {"0"}, 310, 0x8000, 1},
        {20, "voltage", {"300"}, 370, 52428, 1},
        {3, "voltage", {"234.1"}, 319, 48109, 1},
        {20, "current", {"110"}, 371, 39976, 0},
        {7, "on", {}, 333, 0x0000, 0},
        {7, "off", {}, 333, 0xFF00, 0},
        {-1, "on", {}, -1, 0, 0},
        {21, "off", {}, -1, 0, 0},
        {3, "dim", {}, -1, 0, 0},
        {3, "voltage", {"300.001"}, -1, 0, 0},
        {3, "voltage", {"-0.5"}, -1, 0, 0},
        {3, "voltage", {"1e3"}, -1, 0, 0},
        {3, "voltage", {"nan"}, -1, 0, 0},
        {3, "voltage", {"12V"}, -1, 0, 0},
        {3, "voltage", {""}, -1, 0, 0},
        {3, "voltage", {}, -1, 0, 0},
        {3, "voltage", {"1", "2"}, -1, 0, 0},
        {3, "current", {"110.5"}, -1, 0, 0},
        {3, "on", {"1"}, -1, 0, 0},
    };
    for (const auto& c : cases) {
        const std::string words =
            std::to_string(c.module) + " " + c.setting + (c.value.empty() ? "" : " " + c.value[0]);
        SCOPED_TRACE(words);
        FakeUnitLine fake;
        fake.peer = [](const Bytes& request) { return Answer{request}; };
        const int discardsBefore = fake.line.m_nDiscardIn;
        UnitCommand command;
        const std::string why = MakeModuleCommand(c.module, c.setting, c.value, &command);
        EXPECT_EQ(why.empty(), c.reg >= 0) << why;
        if (why.empty()) {
            const CommandResult r = RunUnitCommand(fake.link, command, true, 0);
            EXPECT_EQ(r.record.outcome, ReadOutcome::Reply);
            EXPECT_FALSE(r.readBack);  // the unit's map has nothing to read back
        }
        EXPECT_EQ(fake.line.m_written, c.reg < 0 ? Bytes{} : Request(1, 0x06, c.reg, c.code));
        EXPECT_EQ(fake.line.m_nDiscardIn - discardsBefore, c.purges);
    }
}

}  // namespace
