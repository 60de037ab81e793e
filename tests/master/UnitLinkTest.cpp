// The unit's link on a line that misbehaves: a unit slower than the reply
// wait, whose late reply must not pass for the answer to the next read, and an
// adapter that echoes every request, whose copy must not pass for the unit's
// reply to a write.
#include <gtest/gtest.h>

#include <string>

#include "tests/master/FakeUnitLine.h"

namespace {

// The nine analog registers all holding raw.
Bytes AnalogReply(std::uint16_t raw) {
    Bytes pdu = {0x03, 18};
    for (int i = 0; i < 9; ++i) {
        pdu.push_back(static_cast<std::uint8_t>(raw >> 8));
        pdu.push_back(static_cast<std::uint8_t>(raw));
    }
    return From(1, pdu);
}

constexpr std::uint16_t kFirstRaw = 0x7FFF, kSecondRaw = 0x9000;

}  // namespace

// Two reads in a row; the unit answers the first after firstDelayMs (past
// the wait of 200 ms, or never) and the second at once.
TEST(UnitLinkLateReply, IsCountedAndNeverTakenForTheNextRead) {
    const struct {
        const char* name;
        bool listen;                 // as k40ctl watch does
        std::uint32_t firstDelayMs;  // 0: never
        ReadOutcome first;
        std::uint16_t secondShows;
        std::uint64_t late;
    } cases[] = {
        {"listening: counted as late", true, 210, ReadOutcome::Timeout, kSecondRaw, 1},
        // Without listening, the late reply lands inside the next read, which
        // asked the same and takes it: the hazard the listening is for.
        {"not listening: taken for the next", false, 210, ReadOutcome::Timeout, kFirstRaw, 0},
        {"listening, no late reply", true, 0, ReadOutcome::Timeout, kSecondRaw, 0},
        {"listening, first answered in time", true, 20, ReadOutcome::Reply, kSecondRaw, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        FakeUnitLine fake;
        if (c.listen) {
            fake.link.ListenForLateReplies();
        }
        fake.peer = [&](const Bytes&) {
            if (fake.requests == 1) {
                return c.firstDelayMs == 0 ? Answer{}
                                           : Answer{AnalogReply(kFirstRaw), c.firstDelayMs};
            }
            return Answer{AnalogReply(kSecondRaw), 20};
        };
        EXPECT_EQ(fake.link.Read(ReadCommand::Analog03).outcome, c.first);
        const ReadRecord second = fake.link.Read(ReadCommand::Analog03);
        ASSERT_EQ(second.outcome, ReadOutcome::Reply);
        ASSERT_EQ(second.values.size(), 9u);
        EXPECT_NEAR(second.values[0].value, ShownValue(c.secondShows), 0.05);
        EXPECT_EQ(fake.link.Counters().Count(LineFinding::EarlierReply), c.late);
        EXPECT_EQ(fake.requests, 2);
    }
}

// A manual command on a fresh port, then a read of the status bits.
TEST(UnitLinkEcho, TheCopyOfAWriteIsNeverItsReply) {
    const Bytes coils = From(1, {0x01, 2, 0x01, 0x00});  // bit 0: manual
    const struct {
        const char* name;
        EchoMode mode;
        bool echoes, alive;
        ReadOutcome command;
        const char* finding;
        int requests;  // the write's, with the read that settles the echo first
    } cases[] = {
        {"echo on, unit answers", EchoMode::On, true, true, ReadOutcome::Reply, "", 1},
        {"echo on, silent unit", EchoMode::On, true, false, ReadOutcome::Timeout, "lone-copy", 1},
        {"auto learns the echo first", EchoMode::Auto, true, false, ReadOutcome::Timeout,
         "echo-only", 2},
        {"auto, a line without echo", EchoMode::Auto, false, true, ReadOutcome::Reply, "", 2},
        {"echo off", EchoMode::Off, false, true, ReadOutcome::Reply, "", 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        FakeUnitLine fake(c.mode);
        fake.echoes = c.echoes;
        fake.peer = [&](const Bytes& request) {
            if (!c.alive) {
                return Answer{};
            }
            // A write's reply is its request; 03 is the status word.
            return Answer{request[1] == 0x01   ? coils
                          : request[1] == 0x03 ? From(1, {0x03, 2, 0x00, 0x01})
                                               : request};
        };
        const ReadRecord command = fake.link.Command(SystemModeRequest(SystemMode::Manual), false);
        EXPECT_EQ(command.outcome, c.command);
        EXPECT_EQ(command.finding, c.finding);
        EXPECT_EQ(fake.requests, c.requests);
        const ReadRecord bits = fake.link.Read(ReadCommand::Coils01);
        ASSERT_EQ(bits.outcome, c.alive ? ReadOutcome::Reply : ReadOutcome::Timeout);
        if (c.alive) {
            EXPECT_EQ(bits.values.at(0).value, 1.0);
            EXPECT_EQ(bits.values.at(1).value, 0.0);
        }
    }
}
