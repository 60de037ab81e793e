// What the bytes of a failed exchange say, on byte tables.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "link/LineDiagnosis.h"
#include "support/TestFrames.h"

namespace {

struct DiagnosisCase {
    const char* name;
    Bytes request;
    Bytes received;  // after the removed copy, when echoRemoved
    bool echoRemoved;
    LineFinding finding;
    bool echoSeen;
    int otherSlave;
    Bytes bytes;  // shown: the first bytes, or the whole frame with a bad CRC
};

void PrintTo(const DiagnosisCase& c, std::ostream* os) {
    *os << c.name;
}

const Bytes kRead = Request(1, 3, 100, 9);
const Bytes kManual = Request(1, 5, 200, 0xFF00);
// A frame with its last CRC byte spoilt.
Bytes BadCrc(Bytes frame) {
    frame = WithCrc(std::move(frame));
    frame.back() ^= 0x5A;
    return frame;
}
// The reply to kRead: nine registers, 23 bytes.
const Bytes kAnalogBody = {0x01, 0x03, 18, 0, 1, 0, 2, 0, 3, 0, 4, 0, 5, 0, 6, 0, 7, 0, 8, 0, 9};
const Bytes kManualBody(kManual.begin(), kManual.end() - 2);
const Bytes kJunk = {0xF0, 0x0F, 0x55, 0xAA, 0x00, 0xFF, 0x12, 0x34, 0x56,
                     0x78, 0x9A, 0xBC, 0xDE, 0xF1, 0x23, 0x45, 0x67, 0x89};

class Diagnosis : public ::testing::TestWithParam<DiagnosisCase> {};

}  // namespace

TEST_P(Diagnosis, Classify) {
    const DiagnosisCase& c = GetParam();
    const LineDiagnosis d = CLineDiagnosis::Classify(
        c.request.data(), c.received.data(), static_cast<int>(c.received.size()), 1, c.echoRemoved);
    EXPECT_EQ(CLineDiagnosis::Name(d.finding), std::string(CLineDiagnosis::Name(c.finding)));
    EXPECT_EQ(d.echoSeen, c.echoSeen);
    EXPECT_EQ(d.otherSlave, c.otherSlave);
    EXPECT_EQ(d.bytes, c.bytes);
}

INSTANTIATE_TEST_SUITE_P(
    Tables, Diagnosis,
    ::testing::Values(
        DiagnosisCase{"Nothing", kRead, {}, false, LineFinding::Nothing, false, 0, {}},
        DiagnosisCase{
            "EchoRemovedThenNothing", kManual, {}, true, LineFinding::EchoOnly, true, 0, {}},
        DiagnosisCase{"EchoFoundHere", kRead, kRead, false, LineFinding::EchoOnly, true, 0, {}},
        DiagnosisCase{"Junk", kRead, kJunk, false, LineFinding::NoFrame, false, 0,
                      Bytes(kJunk.begin(), kJunk.begin() + 16)},
        DiagnosisCase{"CopyOneByteShort", kManual, Bytes(kManual.begin(), kManual.end() - 1), false,
                      LineFinding::NoFrame, false, 0, Bytes(kManual.begin(), kManual.end() - 1)},
        DiagnosisCase{"OtherSlave",
                      kRead,
                      Concat({{0x00, 0x11}, WithCrc({0x07, 0x03, 0x02, 0x00, 0x05})}),
                      false,
                      LineFinding::OtherSlave,
                      false,
                      7,
                      {}},
        DiagnosisCase{"OtherSlaveAfterEcho",
                      kManual,
                      WithCrc({0x02, 0x05, 0x00, 0xC8, 0xFF, 0x00}),
                      true,
                      LineFinding::OtherSlave,
                      true,
                      2,
                      {}},
        DiagnosisCase{"EarlierReply",
                      kRead,
                      WithCrc({0x01, 0x01, 0x02, 0x34, 0x12}),
                      false,
                      LineFinding::EarlierReply,
                      false,
                      0,
                      {}},
        DiagnosisCase{"EarlierWriteEcho",
                      kManual,
                      Request(1, 5, 201, 0),
                      true,
                      LineFinding::EarlierReply,
                      true,
                      0,
                      {}},
        DiagnosisCase{"OursWinsOverOtherSlave",
                      kRead,
                      Concat({WithCrc({0x09, 0x03, 0x02, 0x00, 0x05}),
                              WithCrc({0x01, 0x03, 0x02, 0x00, 0x05})}),
                      false,
                      LineFinding::EarlierReply,
                      false,
                      0,
                      {}},
        DiagnosisCase{"CrcErrorShowsTheWholeFrame", kRead, BadCrc(kAnalogBody), false,
                      LineFinding::CrcError, false, 0, BadCrc(kAnalogBody)},
        DiagnosisCase{"CrcErrorBehindNoise", kRead, Concat({{0xF0, 0x0F}, BadCrc(kAnalogBody)}),
                      false, LineFinding::CrcError, false, 0, BadCrc(kAnalogBody)},
        DiagnosisCase{"CrcErrorOfAnException", kRead, BadCrc({0x01, 0x83, 0x02}), false,
                      LineFinding::CrcError, false, 0, BadCrc({0x01, 0x83, 0x02})},
        DiagnosisCase{"CrcErrorOfAWriteReplyAfterEcho", kManual, BadCrc(kManualBody), true,
                      LineFinding::CrcError, true, 0, BadCrc(kManualBody)},
        DiagnosisCase{"WrongByteCountIsNoCrcError", kRead, BadCrc({0x01, 0x03, 0x02, 0x00, 0x05}),
                      false, LineFinding::NoFrame, false, 0,
                      BadCrc({0x01, 0x03, 0x02, 0x00, 0x05})},
        DiagnosisCase{"OtherAddressWithBadCrcIsNoCrcError", kRead,
                      BadCrc({0x02, 0x03, 0x02, 0x00, 0x05}), false, LineFinding::NoFrame, false, 0,
                      BadCrc({0x02, 0x03, 0x02, 0x00, 0x05})},
        DiagnosisCase{"ExceptionBehindJunk",
                      kRead,
                      Concat({WithCrc({0x01, 0x83, 0x02}), {0x00}}),
                      false,
                      LineFinding::Exception,
                      false,
                      0,
                      {}}),
    [](const auto& param) { return std::string(param.param.name); });

TEST(DiagnosisOfExchange, UsesWhatTheExchangeKept) {
    CModbusComm comm;
    comm.BuildRequest(0x05, 200, 0xFF00);
    const Bytes got = Concat({Request(1, 5, 200, 0xFF00), {0x3C, 0x3C}});
    std::copy(got.begin(), got.end(), comm.m_RecvBuf);
    comm.m_nRecvLen = static_cast<int>(got.size());
    ExchangeResult r;
    r.echoRemoved = true;
    r.afterEcho = 8;
    LineDiagnosis d = CLineDiagnosis::OfExchange(comm, r);
    EXPECT_EQ(d.finding, LineFinding::NoFrame);
    EXPECT_EQ(d.bytes, Bytes({0x3C, 0x3C}));

    r.outcome = ExchangeOutcome::Exception;
    r.exceptionCode = 2;
    d = CLineDiagnosis::OfExchange(comm, r);
    EXPECT_EQ(d.finding, LineFinding::Exception);
    EXPECT_EQ(d.exceptionCode, 2);
}

// Echo expected, something else in its place: the altered copy is the one
// cause, and a whole reply after it says the unit itself is fine.
TEST(DiagnosisOfExchange, AlteredCopyIsTheOneCause) {
    const Bytes shortCopy(kManual.begin(), kManual.end() - 1);
    Bytes collided = kManual;
    collided[4] ^= 0x10;
    struct Case {
        Bytes request, received, shown;
        bool replyAfter;
    } cases[] = {
        {kManual, Concat({shortCopy, kManual}), shortCopy, true},
        {kRead, Concat({Bytes(kRead.begin(), kRead.end() - 1), WithCrc(kAnalogBody)}),
         Bytes(kRead.begin(), kRead.end() - 1), true},
        {kManual, collided, collided, false},
    };
    for (const Case& c : cases) {
        CModbusComm comm;
        comm.m_echoMode = EchoMode::On;
        std::copy(c.request.begin(), c.request.end(), comm.m_SendBuf);
        std::copy(c.received.begin(), c.received.end(), comm.m_RecvBuf);
        comm.m_nRecvLen = static_cast<int>(c.received.size());
        ExchangeResult r;
        r.echoMismatch = true;
        const LineDiagnosis d = CLineDiagnosis::OfExchange(comm, r);
        EXPECT_EQ(d.finding, LineFinding::EchoAltered);
        EXPECT_EQ(d.bytes, c.shown);
        EXPECT_EQ(d.replyAfterCopy, c.replyAfter);
    }
}

// One copy of a write and nothing after: proof of a silent unit only where the
// echo is known; with echo on it may as well have been the reply.
TEST(DiagnosisOfExchange, LoneCopyOfAWriteWithEchoOn) {
    struct Case {
        EchoMode mode;
        Bytes request, received;
        LineFinding finding;
    } cases[] = {
        {EchoMode::On, kManual, kManual, LineFinding::LoneCopy},
        {EchoMode::Auto, kManual, kManual, LineFinding::EchoOnly},  // learned from a read
        {EchoMode::On, kRead, kRead, LineFinding::EchoOnly},        // no reply equals a read
        {EchoMode::On, kManual, Concat({kManual, kManual}), LineFinding::EchoOnly},
    };
    for (const Case& c : cases) {
        CModbusComm comm;
        comm.m_echoMode = c.mode;
        std::copy(c.request.begin(), c.request.end(), comm.m_SendBuf);
        std::copy(c.received.begin(), c.received.end(), comm.m_RecvBuf);
        comm.m_nRecvLen = static_cast<int>(c.received.size());
        ExchangeResult r;
        r.echoRemoved = true;
        r.afterEcho = comm.m_nRecvLen;
        EXPECT_EQ(CLineDiagnosis::OfExchange(comm, r).finding, c.finding)
            << CLineDiagnosis::Name(c.finding);
    }
}

namespace {

struct DamageCase {
    const char* name;
    Bytes request;
    Bytes received;
    bool damaged;
};

// The analog reply with the bytes at these positions dropped, as a UART
// drops the characters that fail their parity or framing.
Bytes Dropped(std::vector<int> positions) {
    Bytes reply = WithCrc(kAnalogBody);
    std::sort(positions.rbegin(), positions.rend());
    for (int at : positions) {
        reply.erase(reply.begin() + at);
    }
    return reply;
}

}  // namespace

// A parity mismatch leaves the reply with holes, a wrong rate leaves garbage.
TEST(DiagnosisOfNoFrame, DamagedReplyOrGarbage) {
    for (const DamageCase& c : {
             DamageCase{"reply with holes", kRead, Dropped({4, 9, 10, 17}), true},
             DamageCase{"reply cut short", kRead, Dropped({22, 21, 20, 19, 18, 17, 16}), true},
             DamageCase{"exception with a hole", kRead, {0x01, 0x83, 0x02, 0x41}, true},
             DamageCase{"write echo with a hole", kManual, {0x01, 0x05, 0x00, 0xC8, 0xFF, 0x00, 0x8C}, true},
             DamageCase{"junk", kRead, kJunk, false},
             DamageCase{"another address first", kRead, Dropped({0}), false},
             DamageCase{"another function", kRead, {0x01, 0x04, 0x12, 0x00, 0x01}, false},
             DamageCase{"longer than the reply", kManual,
                        {0x01, 0x05, 0x00, 0xC8, 0x33, 0x33, 0x33, 0x33, 0x33, 0x33}, false},
             DamageCase{"one byte", kRead, {0x01}, false},
         }) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(CLineDiagnosis::DamagedReply(c.request.data(), c.received.data(),
                                               static_cast<int>(c.received.size()), 1),
                  c.damaged);
        const LineDiagnosis d = CLineDiagnosis::Classify(
            c.request.data(), c.received.data(), static_cast<int>(c.received.size()), 1, false);
        EXPECT_EQ(d.finding, LineFinding::NoFrame);
        EXPECT_EQ(d.damagedReply, c.damaged);
    }
}
