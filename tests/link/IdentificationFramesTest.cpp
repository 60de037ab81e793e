// Function 43/14 (Read Device Identification) and 17 (Report Server ID): their
// requests' lengths, and which of their variable-length replies the reply
// search takes over RTU and over Modbus TCP, against frames built by hand from
// the Modbus application protocol and one pair built by pymodbus.
#include <gtest/gtest.h>

#include "link/Exchange.h"
#include "link/ReplyMatch.h"
#include "support/FakeSerial.h"
#include "support/TestFrames.h"

namespace {

constexpr int kSlave = 5;

const Bytes kDeviceId = {0x2B, 0x0E, 0x01, 0x00};  // basic stream from object 0
const Bytes kServerId = {0x11};

// pymodbus 3.0's RTU framer (ReadDeviceInformationResponse with vendor "Acme",
// product code "K7", revision "1.2"; ReportSlaveIdResponse of server id 2A, on).
const Bytes kPymodbusDeviceIdRequest = {0x05, 0x2B, 0x0E, 0x01, 0x00, 0x81, 0xB7};
const Bytes kPymodbusDeviceId = {0x05, 0x2B, 0x0E, 0x01, 0x83, 0x00, 0x00, 0x03, 0x00,
                                 0x04, 'A',  'c',  'm',  'e',  0x01, 0x02, 'K',  '7',
                                 0x02, 0x03, '1',  '.',  '2',  0xFE, 0x9F};
const Bytes kPymodbusServerIdRequest = {0x05, 0x11, 0xC2, 0xEC};
const Bytes kPymodbusServerId = {0x05, 0x11, 0x02, 0x2A, 0xFF, 0x13, 0xDC};

struct Case {
    const char* name;
    Bytes pdu;
    Bytes reply;  // address (unit id) and PDU, without CRC
    ExchangeOutcome outcome;
};

Bytes WithoutCrc(const Bytes& frame) {
    return Bytes(frame.begin(), frame.end() - 2);
}

const Case kCases[] = {
    {"43/14 from pymodbus", kDeviceId, WithoutCrc(kPymodbusDeviceId), ExchangeOutcome::Reply},
    {"43/14 more follows from object 1",
     kDeviceId,
     {kSlave, 0x2B, 0x0E, 0x01, 0x81, 0xFF, 0x01, 0x01, 0x00, 0x02, 'A', 'c'},
     ExchangeOutcome::Reply},
    {"43/14 without objects",
     kDeviceId,
     {kSlave, 0x2B, 0x0E, 0x01, 0x81, 0x00, 0x00, 0x00},
     ExchangeOutcome::Reply},
    {"43/14 object longer than the frame",
     kDeviceId,
     {kSlave, 0x2B, 0x0E, 0x01, 0x81, 0x00, 0x00, 0x01, 0x00, 0x09, 'A'},
     ExchangeOutcome::Timeout},
    {"43/14 one object fewer than counted",
     kDeviceId,
     {kSlave, 0x2B, 0x0E, 0x01, 0x81, 0x00, 0x00, 0x02, 0x00, 0x01, 'A'},
     ExchangeOutcome::Timeout},
    {"43/14 bytes after the last object",
     kDeviceId,
     {kSlave, 0x2B, 0x0E, 0x01, 0x81, 0x00, 0x00, 0x01, 0x00, 0x01, 'A', 'B'},
     ExchangeOutcome::Timeout},
    {"43/14 more follows neither 00 nor FF",
     kDeviceId,
     {kSlave, 0x2B, 0x0E, 0x01, 0x81, 0x01, 0x00, 0x00},
     ExchangeOutcome::Timeout},
    {"43/14 another read code",
     kDeviceId,
     {kSlave, 0x2B, 0x0E, 0x04, 0x81, 0x00, 0x00, 0x00},
     ExchangeOutcome::Timeout},
    {"43 another MEI type",
     kDeviceId,
     {kSlave, 0x2B, 0x0D, 0x01, 0x81, 0x00, 0x00, 0x00},
     ExchangeOutcome::Timeout},
    {"43/14 header cut short",
     kDeviceId,
     {kSlave, 0x2B, 0x0E, 0x01, 0x81, 0x00, 0x00},
     ExchangeOutcome::Timeout},
    {"43 refused", kDeviceId, {kSlave, 0xAB, 0x01}, ExchangeOutcome::Exception},
    {"17 from pymodbus", kServerId, WithoutCrc(kPymodbusServerId), ExchangeOutcome::Reply},
    {"17 with text after the run indicator",
     kServerId,
     {kSlave, 0x11, 0x05, 0x01, 0x00, 'x', 'y', 'z'},
     ExchangeOutcome::Reply},
    {"17 byte count past the end",
     kServerId,
     {kSlave, 0x11, 0x03, 0x2A, 0xFF},
     ExchangeOutcome::Timeout},
    {"17 byte count short of the end",
     kServerId,
     {kSlave, 0x11, 0x01, 0x2A, 0xFF},
     ExchangeOutcome::Timeout},
    {"17 byte count 0", kServerId, {kSlave, 0x11, 0x00}, ExchangeOutcome::Timeout},
    {"17 refused", kServerId, {kSlave, 0x91, 0x01}, ExchangeOutcome::Exception},
    {"17 answered as 43",
     kServerId,
     {kSlave, 0x2B, 0x0E, 0x01, 0x81, 0x00, 0x00, 0x00},
     ExchangeOutcome::Timeout},
};

struct Identification : ::testing::Test {
    FakeClock clock{1000};
    FakeLine line{clock};
    FakePorts ports;
    CModbusComm comm{ports, clock};

    Identification() {
        ports.Attach(0, line);
        comm.m_nWaitTime = 200;
        comm.m_nSlaveAddr = kSlave;
    }
    ExchangeResult Run(const Bytes& pdu, bool mbap, EchoMode echo = EchoMode::Off) {
        line.m_bMbap = mbap;
        comm.m_echoMode = echo;
        EXPECT_EQ(comm.InitPort(), 1);
        return RunRequest(comm, ExchangeVariant::Read, pdu.data(), static_cast<int>(pdu.size()),
                          nullptr, clock);
    }
};

TEST_F(Identification, RequestsHaveTheirOwnLengths) {
    EXPECT_EQ(RequestLength(kPymodbusDeviceIdRequest.data()), 7);
    EXPECT_EQ(RequestLength(kPymodbusServerIdRequest.data()), 4);
    EXPECT_TRUE(CopyNeverAnswers(0x2B));
    EXPECT_TRUE(CopyNeverAnswers(0x11));
    // The requests as the link frames them are pymodbus's, byte for byte.
    for (const auto& [pdu, expected] : {std::pair{kDeviceId, kPymodbusDeviceIdRequest},
                                        std::pair{kServerId, kPymodbusServerIdRequest}}) {
        Run(pdu, false);
        EXPECT_EQ(line.m_written, expected);
        line.m_written.clear();
    }
}

TEST_F(Identification, RtuRepliesAreTakenByTheirStructure) {
    EXPECT_EQ(WithCrc(WithoutCrc(kPymodbusDeviceId)), kPymodbusDeviceId);
    for (const Case& c : kCases) {
        SCOPED_TRACE(c.name);
        // Noise in front: the search starts at every byte equal to the address.
        line.m_onWrite = [&](const Bytes&) {
            line.Arrive(20, Concat({{kSlave, 0x00}, WithCrc(c.reply)}));
        };
        const ExchangeResult r = Run(c.pdu, false);
        EXPECT_EQ(r.outcome, c.outcome);
        if (r.outcome != ExchangeOutcome::Timeout) {
            EXPECT_EQ(Bytes(comm.m_RecvBuf, comm.m_RecvBuf + r.replyLength), WithCrc(c.reply));
            EXPECT_EQ(r.exceptionCode, r.outcome == ExchangeOutcome::Exception ? 1 : 0);
        }
    }
}

TEST_F(Identification, ModbusTcpRepliesAreTakenByTheirStructure) {
    for (const Case& c : kCases) {
        SCOPED_TRACE(c.name);
        line.m_onWrite = [&](const Bytes& request) {
            Bytes frame = {request[0], request[1], 0,
                           0,          0,          static_cast<std::uint8_t>(c.reply.size())};
            frame.insert(frame.end(), c.reply.begin(), c.reply.end());
            line.Arrive(5, frame);
        };
        const ExchangeResult r = Run(c.pdu, true);
        EXPECT_EQ(r.outcome, c.outcome);
        if (r.outcome != ExchangeOutcome::Timeout) {
            EXPECT_EQ(Bytes(comm.m_RecvBuf, comm.m_RecvBuf + r.replyLength), WithCrc(c.reply));
        }
    }
}

TEST_F(Identification, AnEchoedRequestIsTakenOffByItsOwnLength) {
    for (const Bytes& pdu : {kDeviceId, kServerId}) {
        const Bytes reply = pdu[0] == 0x11 ? kPymodbusServerId : kPymodbusDeviceId;
        line.m_onWrite = [&](const Bytes& request) {
            line.Arrive(0, request);
            line.Arrive(20, reply);
        };
        const ExchangeResult r = Run(pdu, false, EchoMode::On);
        EXPECT_TRUE(r.echoRemoved);
        EXPECT_EQ(r.outcome, ExchangeOutcome::Reply);
        EXPECT_EQ(Bytes(comm.m_RecvBuf, comm.m_RecvBuf + r.replyLength), reply);
    }
}

}  // namespace
