// The exchange on a fake device and a fake clock: variants, echo, time-out,
// reply matching and waiting without spinning.
#include <gtest/gtest.h>

#include <string>

#include "link/Exchange.h"
#include "link/HexEcho.h"
#include "support/FakeSerial.h"
#include "support/TestFrames.h"

namespace {

Bytes Appended(Bytes frame, std::uint8_t extra) {
    frame.push_back(extra);
    return frame;
}

const Bytes kAnalogReply = WithCrc({0x01, 0x03, 0x12, 0x80, 0,    0x80, 0,    0x80, 0,    0x80, 0,
                                    0x80, 0,    0x80, 0,    0x80, 0,    0x80, 0,    0x80, 0});
const Bytes kModuleOnEcho = {0x01, 0x06, 0x01, 0x38, 0x00, 0x00, 0x09, 0xFB};
const Bytes kModuleOffEcho = {0x01, 0x06, 0x01, 0x38, 0xFF, 0x00, 0x48, 0x0B};

class RecordingEcho : public IFrameEcho {
public:
    explicit RecordingEcho(CModbusComm& comm) : m_comm(comm) {}
    void ShowSendFrame() override {
        m_sends.push_back(HexEchoSendText(m_comm.m_SendBuf, m_comm.m_nSendLen));
    }
    void ShowRecvFrame() override {
        m_recvs.push_back(HexEchoRecvText(m_comm.m_RecvBuf, m_comm.m_nRecvLen));
    }
    void WhileWaiting() override { m_turns.push_back(m_clock != nullptr ? m_clock->m_nNow : 0); }
    CModbusComm& m_comm;
    FakeClock* m_clock = nullptr;
    std::vector<std::string> m_sends;
    std::vector<std::string> m_recvs;
    std::vector<std::uint32_t> m_turns;  // the clock at each WhileWaiting
};

struct ExchangeFixture : ::testing::Test {
    FakeClock clock{1000};
    FakeLine line{clock};
    FakePorts ports;
    CModbusComm comm{ports};
    RecordingEcho echo{comm};

    // Echo off: the variants' own frames and queues, without the read that
    // settles the echo before a write in auto (tests/link/EchoExchangeTest.cpp).
    ExchangeFixture() {
        ports.Attach(0, line);
        comm.m_echoMode = EchoMode::Off;
        EXPECT_EQ(comm.InitPort(), 1);
    }
    // The peer answers every request after delayMs with the given chunks.
    void Answer(std::uint32_t delayMs, const Bytes& reply) {
        line.m_onWrite = [this, delayMs, reply](const Bytes&) { line.Arrive(delayMs, reply); };
    }
    ExchangeResult Run(ExchangeVariant v, std::uint8_t fn, int addr, std::uint16_t value) {
        return RunExchange(comm, v, fn, addr, value, &echo, clock);
    }
    Bytes Front(int n) const { return Bytes(comm.m_RecvBuf, comm.m_RecvBuf + n); }
};

}  // namespace

using Exchange = ExchangeFixture;

struct VariantCase {
    ExchangeVariant variant;
    std::uint8_t function;
    int address;
    std::uint16_t value;
    bool purges;
    bool echoes;
};

void PrintTo(const VariantCase& c, std::ostream* os) {
    *os << static_cast<int>(c.variant);
}

class ExchangeVariants : public ExchangeFixture,
                         public ::testing::WithParamInterface<VariantCase> {};

TEST_P(ExchangeVariants, PurgeResetAndEcho) {
    const VariantCase& c = GetParam();
    Bytes reply;
    if (c.function == 0x01) {
        reply = kCoilReply;
    } else if (c.function == 0x03) {
        reply = kAnalogReply;
    } else {
        reply = Bytes(8);
    }
    line.m_onWrite = [&](const Bytes& req) { line.Arrive(5, c.function >= 5 ? req : reply); };
    // Left over from the exchange before: a count and three unrelated bytes.
    comm.m_nRecvLen = 3;
    comm.m_RecvBuf[0] = 0x55;
    const int purgesBefore = line.m_nDiscardIn;

    const ExchangeResult r = Run(c.variant, c.function, c.address, c.value);

    EXPECT_EQ(r.outcome, ExchangeOutcome::Reply);
    EXPECT_EQ(line.m_nDiscardIn - purgesBefore, c.purges ? 1 : 0);
    ASSERT_EQ(echo.m_sends.size(), 1u);
    EXPECT_EQ(echo.m_sends[0], HexEchoSendText(line.m_written.data(), 8));
    EXPECT_EQ(echo.m_recvs.size(), c.echoes ? 1u : 0u);
    if (c.echoes) {
        // Every variant starts the receive count again, by purge or by reset.
        EXPECT_EQ(echo.m_recvs[0].substr(0, 3), "01 ");
    }
    EXPECT_EQ(comm.m_RecvBuf[0], 0x01);
}

INSTANTIATE_TEST_SUITE_P(
    All, ExchangeVariants,
    ::testing::Values(VariantCase{ExchangeVariant::Read, 0x01, 0, 15, true, true},
                      VariantCase{ExchangeVariant::QuietRead, 0x03, 100, 9, true, false},
                      VariantCase{ExchangeVariant::SystemCommand, 0x05, 200, 0xFF00, true, true},
                      VariantCase{ExchangeVariant::PurgingModuleCommand, 0x06, 310, 48103, true,
                                  true},
                      VariantCase{ExchangeVariant::ModuleCommand, 0x06, 312, 0, false, true}));

TEST_F(Exchange, ChunkedReplyIsEchoedGrowing) {
    line.m_onWrite = [&](const Bytes&) {
        line.Arrive(10, Bytes(kAnalogReply.begin(), kAnalogReply.begin() + 5));
        line.Arrive(20, Bytes(kAnalogReply.begin() + 5, kAnalogReply.begin() + 15));
        line.Arrive(30, Bytes(kAnalogReply.begin() + 15, kAnalogReply.end()));
    };
    const ExchangeResult r = Run(ExchangeVariant::Read, 0x03, 100, 9);
    EXPECT_EQ(r.outcome, ExchangeOutcome::Reply);
    EXPECT_EQ(r.replyLength, 23);
    ASSERT_EQ(echo.m_recvs.size(), 3u);
    EXPECT_EQ(echo.m_recvs[0], HexEchoRecvText(kAnalogReply.data(), 5));
    EXPECT_EQ(echo.m_recvs[1], HexEchoRecvText(kAnalogReply.data(), 15));
    EXPECT_EQ(echo.m_recvs[2], HexEchoRecvText(kAnalogReply.data(), 23));
}

TEST_F(Exchange, ReplyMustCompleteWithinTheWait) {
    comm.m_nWaitTime = 100;
    Answer(99, kCoilReply);
    EXPECT_EQ(Run(ExchangeVariant::Read, 0x01, 0, 15).outcome, ExchangeOutcome::Reply);

    Answer(100, kCoilReply);
    const std::uint32_t start = clock.m_nNow;
    EXPECT_EQ(Run(ExchangeVariant::Read, 0x01, 0, 15).outcome, ExchangeOutcome::Timeout);
    EXPECT_EQ(clock.m_nNow - start, 100u);
    EXPECT_TRUE(echo.m_recvs.size() == 1u);  // the late bytes are never even read
}

TEST_F(Exchange, WrapOfTheTickNeitherEndsNorLengthensTheWait) {
    clock.m_nNow = 0xFFFFFF00u;  // 256 ms before the counter wraps
    Answer(1000, kCoilReply);
    EXPECT_EQ(Run(ExchangeVariant::Read, 0x01, 0, 15).outcome, ExchangeOutcome::Reply);

    clock.m_nNow = 0xFFFFFF00u;
    line.m_onWrite = nullptr;
    EXPECT_EQ(Run(ExchangeVariant::Read, 0x01, 0, 15).outcome, ExchangeOutcome::Timeout);
    EXPECT_EQ(clock.m_nNow - 0xFFFFFF00u, 1500u);
}

TEST_F(Exchange, StaleReplyOfAnEarlierCommandIsNotTaken) {
    // "开机" timed out, its echo is still queued; now "关机" goes out unpurged.
    line.Arrive(0, kModuleOnEcho);
    Answer(20, kModuleOffEcho);
    const ExchangeResult r = Run(ExchangeVariant::ModuleCommand, 0x06, 312, 0xFF00);
    EXPECT_EQ(r.outcome, ExchangeOutcome::Reply);
    EXPECT_EQ(Front(8), kModuleOffEcho);
    ASSERT_EQ(echo.m_recvs.size(), 2u);
    EXPECT_EQ(echo.m_recvs[0], HexEchoRecvText(kModuleOnEcho.data(), 8));  // shown as it arrived

    line.Arrive(0, kModuleOnEcho);
    line.m_onWrite = nullptr;  // and this time the unit stays silent
    EXPECT_EQ(Run(ExchangeVariant::ModuleCommand, 0x06, 312, 0xFF00).outcome,
              ExchangeOutcome::Timeout);
}

TEST_F(Exchange, StaleBytesAheadOfTheReplyAreSkipped) {
    line.Arrive(0, {0x01, 0x06, 0x01});
    line.m_onWrite = [&](const Bytes& req) { line.Arrive(5, req); };
    const ExchangeResult r = Run(ExchangeVariant::ModuleCommand, 0x06, 312, 0);
    EXPECT_EQ(r.outcome, ExchangeOutcome::Reply);
    EXPECT_EQ(Front(8), kModuleOnEcho);
    EXPECT_EQ(comm.m_nRecvLen, 11);
}

TEST_F(Exchange, ExceptionReplyIsItsOwnOutcome) {
    Answer(5, WithCrc({0x01, 0x83, 0x02}));
    const ExchangeResult r = Run(ExchangeVariant::QuietRead, 0x03, 100, 9);
    EXPECT_EQ(r.outcome, ExchangeOutcome::Exception);
    EXPECT_EQ(r.exceptionCode, 0x02);
    EXPECT_EQ(Front(5), WithCrc({0x01, 0x83, 0x02}));
}

struct MismatchCase {
    const char* name;
    std::uint8_t function;
    int address;
    std::uint16_t quantity;
    Bytes reply;
};

void PrintTo(const MismatchCase& c, std::ostream* os) {
    *os << c.name;
}

class ExchangeMismatch : public ExchangeFixture,
                         public ::testing::WithParamInterface<MismatchCase> {};

// Valid frames that do not answer the request end in a time-out, never in a
// reply that would be decoded past its end or taken as this command's success.
TEST_P(ExchangeMismatch, TimesOut) {
    const MismatchCase& c = GetParam();
    comm.m_nWaitTime = 200;
    Answer(5, c.reply);
    EXPECT_EQ(Run(ExchangeVariant::Read, c.function, c.address, c.quantity).outcome,
              ExchangeOutcome::Timeout);
}

INSTANTIATE_TEST_SUITE_P(
    Frames, ExchangeMismatch,
    ::testing::Values(
        MismatchCase{"TrailingByte", 0x03, 0, 1,
                     Appended(WithCrc({0x01, 0x03, 0x02, 0x00, 0x05}), 0x11)},
        MismatchCase{"TrailingZero", 0x03, 0, 1,
                     Appended(WithCrc({0x01, 0x03, 0x02, 0x00, 0x05}), 0x00)},
        MismatchCase{"OtherFunction", 0x01, 0, 15, WithCrc({0x01, 0x03, 0x02, 0x34, 0x12})},
        MismatchCase{"ShortCount", 0x03, 100, 9, WithCrc({0x01, 0x03, 0x02, 0x00, 0x05})},
        MismatchCase{"CountBeyondFrame", 0x03, 100, 9, WithCrc({0x01, 0x03, 0x12, 0x00, 0x05})},
        MismatchCase{"OtherRegister", 0x06, 312, 0, WithCrc({0x01, 0x06, 0x01, 0x37, 0x00, 0x00})},
        MismatchCase{"OtherSlave", 0x01, 0, 15, WithCrc({0x02, 0x01, 0x02, 0x34, 0x12})},
        MismatchCase{"BadCrc", 0x01, 0, 15, {0x01, 0x01, 0x02, 0x34, 0x12, 0x00, 0x00}},
        MismatchCase{"OtherException", 0x01, 0, 15, WithCrc({0x01, 0x83, 0x02})}),
    [](const auto& param) { return std::string(param.param.name); });

TEST_F(Exchange, ClosedPortWaitsTheFullTimeInSlices) {
    comm.ClosePort();
    const std::uint32_t start = clock.m_nNow;
    const ExchangeResult r = Run(ExchangeVariant::SystemCommand, 0x05, 200, 0xFF00);
    EXPECT_EQ(r.outcome, ExchangeOutcome::Timeout);
    EXPECT_EQ(clock.m_nNow - start, 1500u);
    EXPECT_EQ(clock.m_nSleeps, 150);  // 10 ms slices, not a spin
    ASSERT_EQ(echo.m_sends.size(), 1u);
    EXPECT_EQ(echo.m_sends[0], "01 05 00 C8 FF 00 0D C4 ");
    EXPECT_TRUE(echo.m_recvs.empty());
}

TEST_F(Exchange, HungUpDeviceSleepsInsteadOfSpinning) {
    line.m_bHungUp = true;
    EXPECT_EQ(Run(ExchangeVariant::Read, 0x01, 0, 15).outcome, ExchangeOutcome::Timeout);
    EXPECT_LE(clock.m_nSleeps, 150);
    EXPECT_LE(line.m_nWaits, 151);
}

TEST_F(Exchange, SilentUnitIsAwaitedOnTheDevice) {
    const ExchangeResult r = RunExchange(comm, ExchangeVariant::Read, 0x01, 0, 15, nullptr, clock);
    EXPECT_EQ(r.outcome, ExchangeOutcome::Timeout);
    EXPECT_EQ(line.m_nWaits, 1);  // without an echo, one wait for the whole time left
    EXPECT_EQ(clock.m_nSleeps, 0);
}

// The window's turn comes every kWaitSliceMs up to the end of the wait, for
// the settling read too, and the wait stays on the device.
TEST_F(Exchange, EchoGetsATurnThroughoutTheWait) {
    echo.m_clock = &clock;
    for (const EchoMode mode : {EchoMode::Off, EchoMode::Auto}) {
        comm.m_echoMode = mode;
        echo.m_turns.clear();
        const std::uint32_t start = clock.m_nNow;
        EXPECT_EQ(Run(ExchangeVariant::SystemCommand, 0x05, 200, 0xFF00).outcome,
                  ExchangeOutcome::Timeout);
        const std::uint32_t waits = mode == EchoMode::Auto ? 2 : 1;  // the settling read's
        EXPECT_EQ(clock.m_nNow - start, waits * 1500);
        ASSERT_EQ(echo.m_turns.size(), waits * 1500 / kWaitSliceMs);
        std::uint32_t last = start;
        for (const std::uint32_t at : echo.m_turns) {
            EXPECT_LE(at - last, kWaitSliceMs);
            last = at;
        }
        EXPECT_EQ(last, clock.m_nNow);
        EXPECT_EQ(clock.m_nSleeps, 0);
    }
}

TEST_F(Exchange, FullBufferDoesNotSpin) {
    comm.m_nWaitTime = 100;
    Answer(1, Bytes(1100, 0x55));  // more than the buffer holds, and no reply in it
    EXPECT_EQ(Run(ExchangeVariant::Read, 0x01, 0, 15).outcome, ExchangeOutcome::Timeout);
    EXPECT_EQ(comm.m_nRecvLen, CModbusComm::kBufSize);
    EXPECT_LE(clock.m_nSleeps, 10);
    EXPECT_EQ(line.m_input.size(), 1100u - CModbusComm::kBufSize);  // the rest stays queued
}

TEST_F(Exchange, FailedWriteStillShowsTheRequestAndTimesOut) {
    line.m_bWriteFails = true;
    comm.m_nWaitTime = 100;
    EXPECT_EQ(Run(ExchangeVariant::Read, 0x03, 0, 1).outcome, ExchangeOutcome::Timeout);
    ASSERT_EQ(echo.m_sends.size(), 1u);
    EXPECT_EQ(echo.m_sends[0], "01 03 00 00 00 01 84 0A ");
}
