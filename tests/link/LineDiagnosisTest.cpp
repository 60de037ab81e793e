// What the bytes of a failed exchange say, on byte tables.
#include <gtest/gtest.h>

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
    Bytes firstBytes;
};

void PrintTo(const DiagnosisCase& c, std::ostream* os) {
    *os << c.name;
}

const Bytes kRead = Request(1, 3, 100, 9);
const Bytes kManual = Request(1, 5, 200, 0xFF00);
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
    EXPECT_EQ(d.firstBytes, c.firstBytes);
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
    EXPECT_EQ(d.firstBytes, Bytes({0x3C, 0x3C}));

    r.outcome = ExchangeOutcome::Exception;
    r.exceptionCode = 2;
    d = CLineDiagnosis::OfExchange(comm, r);
    EXPECT_EQ(d.finding, LineFinding::Exception);
    EXPECT_EQ(d.exceptionCode, 2);
}
