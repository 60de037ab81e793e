// The exchange on a line that echoes the master's request (a two-wire RS-485
// adapter that hears itself) and on one that does not, in the three echo modes:
// a copy of a write request must never pass for the unit's reply.
#include <gtest/gtest.h>

#include <string>

#include "link/Exchange.h"
#include "link/LineDiagnosis.h"
#include "support/FakeSerial.h"
#include "support/TestFrames.h"

namespace {

const Bytes kCoilReply = WithCrc({0x01, 0x01, 0x02, 0x34, 0x12});

struct Line {
    bool echoes;      // the adapter returns every request at once
    bool unitAlive;   // the unit answers after 20 ms
    int echoShortBy;  // the copy loses its last bytes
};

struct Step {
    ExchangeVariant variant;
    std::uint8_t function;
    int address;
    std::uint16_t value;
};

const Step kRead{ExchangeVariant::Read, 0x01, 0, 15};
const Step kManual{ExchangeVariant::SystemCommand, 0x05, 200, 0xFF00};
const Step kModuleOff{ExchangeVariant::ModuleCommand, 0x06, 312, 0xFF00};

struct EchoFixture : ::testing::Test {
    FakeClock clock{1000};
    FakeLine line{clock};
    FakePorts ports;
    CModbusComm comm{ports};

    EchoFixture() {
        ports.Attach(0, line);
        comm.m_nWaitTime = 200;
    }
    void Open(EchoMode mode, Line how) {
        comm.m_echoMode = mode;
        EXPECT_EQ(comm.InitPort(), 1);
        line.m_onWrite = [this, how](const Bytes& req) {
            if (how.echoes) {
                line.Arrive(0, Bytes(req.begin(), req.end() - how.echoShortBy));
            }
            if (how.unitAlive) {
                line.Arrive(20, req[1] == 0x01 ? kCoilReply : req);
            }
        };
    }
    ExchangeResult Run(const Step& s) {
        return RunExchange(comm, s.variant, s.function, s.address, s.value, nullptr, clock);
    }
};

struct ModeCase {
    const char* name;
    EchoMode mode;
    Line line;
    std::vector<Step> steps;
    std::vector<ExchangeOutcome> outcomes;
};

void PrintTo(const ModeCase& c, std::ostream* os) {
    *os << c.name;
}

class EchoModes : public EchoFixture, public ::testing::WithParamInterface<ModeCase> {};

constexpr auto R = ExchangeOutcome::Reply;
constexpr auto T = ExchangeOutcome::Timeout;

}  // namespace

TEST_P(EchoModes, Outcomes) {
    const ModeCase& c = GetParam();
    Open(c.mode, c.line);
    ASSERT_EQ(c.steps.size(), c.outcomes.size());
    for (std::size_t i = 0; i < c.steps.size(); ++i) {
        const ExchangeResult r = Run(c.steps[i]);
        EXPECT_EQ(r.outcome, c.outcomes[i]) << "step " << i;
        if (r.outcome == R && c.steps[i].function == 0x05) {
            EXPECT_EQ(Bytes(comm.m_RecvBuf, comm.m_RecvBuf + 8),
                      line.m_written.size() >= 8
                          ? Bytes(line.m_written.end() - 8, line.m_written.end())
                          : Bytes());
        }
    }
}

INSTANTIATE_TEST_SUITE_P(
    Lines, EchoModes,
    ::testing::Values(
        // A live unit behind an echoing adapter reads and writes normally.
        ModeCase{
            "EchoOnLive", EchoMode::On, {true, true, 0}, {kManual, kRead, kModuleOff}, {R, R, R}},
        ModeCase{"AutoLiveLearnsFromTheRead",
                 EchoMode::Auto,
                 {true, true, 0},
                 {kRead, kManual, kModuleOff},
                 {R, R, R}},
        // A dead unit behind it is never a success once the echo is known.
        ModeCase{
            "EchoOnDead", EchoMode::On, {true, false, 0}, {kManual, kModuleOff, kRead}, {T, T, T}},
        ModeCase{"AutoDeadAfterARead",
                 EchoMode::Auto,
                 {true, false, 0},
                 {kRead, kManual, kModuleOff},
                 {T, T, T}},
        // The limit of auto: a write first on a fresh port cannot be told from its echo.
        ModeCase{"AutoDeadWriteFirst", EchoMode::Auto, {true, false, 0}, {kManual}, {R}},
        ModeCase{"OffDeadTakesTheEcho", EchoMode::Off, {true, false, 0}, {kRead, kManual}, {T, R}},
        // A line that does not echo: unaffected, except that echo on makes
        // writes fail safe (their one copy is taken for the echo).
        ModeCase{"PlainLineOff",
                 EchoMode::Off,
                 {false, true, 0},
                 {kRead, kManual, kModuleOff},
                 {R, R, R}},
        ModeCase{"PlainLineAuto",
                 EchoMode::Auto,
                 {false, true, 0},
                 {kRead, kManual, kModuleOff},
                 {R, R, R}},
        ModeCase{
            "PlainLineOn", EchoMode::On, {false, true, 0}, {kRead, kManual, kModuleOff}, {R, T, T}},
        // A copy one byte short, whatever follows it, is a failure.
        ModeCase{"PartialEchoOn",
                 EchoMode::On,
                 {true, true, 1},
                 {kRead, kManual, kModuleOff},
                 {T, T, T}},
        ModeCase{"PartialEchoOnDead", EchoMode::On, {true, false, 1}, {kRead, kManual}, {T, T}},
        // Auto learns only from an exact copy; a short one teaches nothing,
        // and the live unit's replies at the end of the bytes are taken as before.
        ModeCase{
            "PartialEchoIsNotLearned", EchoMode::Auto, {true, true, 1}, {kRead, kManual}, {R, R}},
        ModeCase{
            "PartialEchoAutoDead", EchoMode::Auto, {true, false, 1}, {kRead, kManual}, {T, T}}),
    [](const auto& param) { return std::string(param.param.name); });

using EchoExchange = EchoFixture;

TEST_F(EchoExchange, LearnedEchoHoldsUntilThePortIsOpenedAgain) {
    Open(EchoMode::Auto, {true, false, 0});
    EXPECT_FALSE(comm.EchoExpected());
    const ExchangeResult r = Run(kRead);
    EXPECT_EQ(r.outcome, T);
    EXPECT_TRUE(r.echoRemoved);
    EXPECT_TRUE(comm.EchoExpected());
    EXPECT_EQ(Run(kManual).outcome, T);
    EXPECT_EQ(comm.InitPort(), 1);
    EXPECT_FALSE(comm.EchoExpected());
}

TEST_F(EchoExchange, AlteredCopyOfAWriteEndsAtOnce) {
    Open(EchoMode::On, {false, false, 0});
    line.m_onWrite = [this](Bytes req) {
        req[4] ^= 0x10;  // a collision spoils one byte of the copy
        line.Arrive(0, req);
        line.Arrive(20, req);
    };
    const std::uint32_t start = clock.m_nNow;
    const ExchangeResult r = Run(kManual);
    EXPECT_EQ(r.outcome, T);
    EXPECT_TRUE(r.echoMismatch);
    EXPECT_FALSE(r.echoRemoved);
    EXPECT_LT(clock.m_nNow - start, comm.m_nWaitTime);
    const LineDiagnosis d = CLineDiagnosis::OfExchange(comm, r);
    EXPECT_EQ(d.finding, LineFinding::EchoAltered);
}

TEST_F(EchoExchange, CopyBehindStaleBytesInTheUnpurgedVariant) {
    Open(EchoMode::On, {true, true, 0});
    line.Arrive(0, {0x7F, 0x01, 0x06});  // left on the line from before
    const ExchangeResult r = Run(kModuleOff);
    EXPECT_EQ(r.outcome, R);
    EXPECT_TRUE(r.echoRemoved);
    EXPECT_EQ(r.afterEcho, 11);
    EXPECT_EQ(Bytes(comm.m_RecvBuf, comm.m_RecvBuf + 8), Request(1, 6, 312, 0xFF00));
}

// A late reply to an earlier identical module command is still queued when
// the same command goes out again without a purge: it is the copy's twin and
// must not be taken for the echo, nor the real echo for the reply.
TEST_F(EchoExchange, LateTwinOfTheRequestIsNotTheEcho) {
    for (const bool alive : {false, true}) {
        SCOPED_TRACE(alive ? "live unit" : "silent unit");
        Open(EchoMode::On, {true, alive, 0});
        line.Arrive(0, Request(1, 6, 312, 0xFF00));
        const ExchangeResult r = Run(kModuleOff);
        EXPECT_EQ(r.outcome, alive ? R : T);
        EXPECT_TRUE(r.echoRemoved);
        EXPECT_EQ(r.afterEcho, 16);
        if (!alive) {
            EXPECT_EQ(CLineDiagnosis::OfExchange(comm, r).finding, LineFinding::EchoOnly);
        }
        comm.ClosePort();
    }
}

TEST(EchoMode, NamesAndTheFallBackToAuto) {
    struct Case {
        const char* text;
        bool valid;
        EchoMode mode;
    };
    for (const Case& c : {Case{"on", true, EchoMode::On}, Case{"off", true, EchoMode::Off},
                          Case{"auto", true, EchoMode::Auto}, Case{"ON", false, EchoMode::Auto},
                          Case{"1", false, EchoMode::Auto}, Case{"", false, EchoMode::Auto},
                          Case{nullptr, false, EchoMode::Auto}}) {
        EchoMode parsed = EchoMode::Off;
        EXPECT_EQ(ParseEchoMode(c.text, parsed), c.valid) << (c.text ? c.text : "null");
        EXPECT_EQ(EchoModeOrAuto(c.text), c.mode) << (c.text ? c.text : "null");
        if (c.valid) {
            EXPECT_EQ(parsed, c.mode);
            EXPECT_STREQ(EchoModeName(parsed), c.text);
        }
    }
}
