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

const Bytes kStatusReply = WithCrc({0x01, 0x03, 0x02, 0x00, 0x02});
// The read of the status word that settles the echo before a write.
const Bytes kSettlingRead = Request(1, 3, 0, 1);

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
                line.Arrive(20, req[1] == 0x01 ? kCoilReply : req[1] == 0x03 ? kStatusReply : req);
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
        // A write first on a fresh port: the read before it settles the echo.
        ModeCase{"AutoDeadWriteFirst", EchoMode::Auto, {true, false, 0}, {kManual}, {T}},
        ModeCase{"AutoDeadModuleFirst", EchoMode::Auto, {true, false, 0}, {kModuleOff}, {T}},
        ModeCase{
            "AutoLiveWriteFirst", EchoMode::Auto, {true, true, 0}, {kManual, kModuleOff}, {R, R}},
        ModeCase{"PlainLineAutoWriteFirst",
                 EchoMode::Auto,
                 {false, true, 0},
                 {kModuleOff, kManual},
                 {R, R}},
        ModeCase{"PlainLineAutoDeadWriteFirst", EchoMode::Auto, {false, false, 0}, {kManual}, {T}},
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

// Which requests go on the wire for two writes on a fresh port, and what the
// frame shows (the window's hex boxes, k40ctl's trace) were given to see.
struct SettlingCase {
    const char* name;
    EchoMode mode;
    Line line;
    bool tracer;                 // the frame shower wants the settling read too
    std::vector<Bytes> written;  // the requests, in order
    int shownSends;
};

class SendRecorder : public IFrameEcho {
public:
    SendRecorder(const CModbusComm& comm, bool all) : m_comm(comm), m_bAll(all) {}
    void ShowSendFrame() override {
        m_sent.emplace_back(m_comm.m_SendBuf, m_comm.m_SendBuf + m_comm.m_nSendLen);
    }
    void ShowRecvFrame() override {}
    bool ShowsSettlingRead() const override { return m_bAll; }
    std::vector<Bytes> m_sent;

private:
    const CModbusComm& m_comm;
    bool m_bAll;
};

const Bytes kManualRequest = Request(1, 5, 200, 0xFF00);
const Bytes kModuleOffRequest = Request(1, 6, 312, 0xFF00);

TEST_F(EchoExchange, SettlingReadOncePerOpening) {
    for (const SettlingCase& c : {
             // Auto reads once before the first write, whatever the read shows,
             // also when it proves nothing (a copy one byte short).
             SettlingCase{"auto",
                          EchoMode::Auto,
                          {true, true, 0},
                          false,
                          {kSettlingRead, kManualRequest, kModuleOffRequest},
                          2},
             SettlingCase{"auto, unproven",
                          EchoMode::Auto,
                          {true, true, 1},
                          false,
                          {kSettlingRead, kManualRequest, kModuleOffRequest},
                          2},
             SettlingCase{"auto, traced",
                          EchoMode::Auto,
                          {true, false, 0},
                          true,
                          {kSettlingRead, kManualRequest, kModuleOffRequest},
                          3},
             // Off and on put exactly the commands on the wire.
             SettlingCase{"off",
                          EchoMode::Off,
                          {true, true, 0},
                          true,
                          {kManualRequest, kModuleOffRequest},
                          2},
             SettlingCase{
                 "on", EchoMode::On, {true, true, 0}, true, {kManualRequest, kModuleOffRequest}, 2},
         }) {
        SCOPED_TRACE(c.name);
        for (int opening = 0; opening < 2; ++opening) {  // again after reopening
            Open(c.mode, c.line);
            line.m_written.clear();
            SendRecorder shown(comm, c.tracer);
            for (const Step& s : {kManual, kModuleOff}) {
                (void)RunExchange(comm, s.variant, s.function, s.address, s.value, &shown, clock);
            }
            Bytes expected;
            for (const Bytes& frame : c.written) {
                expected.insert(expected.end(), frame.begin(), frame.end());
            }
            EXPECT_EQ(line.m_written, expected);
            ASSERT_EQ(static_cast<int>(shown.m_sent.size()), c.shownSends);
            EXPECT_EQ(shown.m_sent.back(), kModuleOffRequest);
            comm.ClosePort();
        }
    }
}

// What a read shows of the echo in auto, and what it leaves unknown.
TEST_F(EchoExchange, ReadsSettleTheEchoState) {
    struct Case {
        const char* name;
        Line line;
        bool hungUp;
        EchoState state;
    };
    for (const Case& c :
         {Case{"copy first", {true, false, 0}, false, EchoState::Present},
          Case{"copy, then reply", {true, true, 0}, false, EchoState::Present},
          Case{"reply alone", {false, true, 0}, false, EchoState::Absent},
          Case{"nothing at all", {false, false, 0}, false, EchoState::Absent},
          Case{"a short copy", {true, false, 1}, false, EchoState::Unknown},
          Case{"short copy, then reply", {true, true, 1}, false, EchoState::Unknown},
          Case{"nothing, the device failed", {false, false, 0}, true, EchoState::Unknown}}) {
        SCOPED_TRACE(c.name);
        Open(EchoMode::Auto, c.line);
        line.m_bHungUp = c.hungUp;
        (void)Run(kRead);
        EXPECT_EQ(comm.m_echoState, c.state);
        line.m_bHungUp = false;
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
