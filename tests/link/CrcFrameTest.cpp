// Request framing, the CRC and the reply search, against known frames.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

#include "link/CrcTables.h"
#include "link/ModbusComm.h"
#include "support/FakeSerial.h"

namespace {

Bytes SendBytes(const CModbusComm& comm) {
    return Bytes(comm.m_SendBuf, comm.m_SendBuf + comm.m_nSendLen);
}

void Receive(CModbusComm& comm, const Bytes& bytes) {
    std::copy(bytes.begin(), bytes.end(), comm.m_RecvBuf);
    comm.m_nRecvLen = static_cast<int>(bytes.size());
}

}  // namespace

TEST(Crc16, CheckValueAndEmptyInput) {
    const std::uint8_t digits[] = {'1', '2', '3', '4', '5', '6', '7', '8', '9'};
    // CRC-16/MODBUS check value 0x4B37, with the byte sent first in the high byte.
    EXPECT_EQ(CModbusComm::Crc16(digits, 9), 0x374B);
    EXPECT_EQ(CModbusComm::Crc16(digits, 0), 0xFFFF);
}

TEST(Crc16, TablesMatchThePolynomial) {
    const std::uint8_t hiStart[] = {0x00, 0xC1, 0x81, 0x40, 0x01, 0xC0, 0x80, 0x41};
    const std::uint8_t loStart[] = {0x00, 0xC0, 0xC1, 0x01, 0xC3, 0x03, 0x02, 0xC2};
    EXPECT_EQ(0, std::memcmp(auchCRCHi, hiStart, 8));
    EXPECT_EQ(0, std::memcmp(auchCRCLo, loStart, 8));
    for (unsigned i = 0; i < 256; ++i) {
        unsigned r = i;
        for (int k = 0; k < 8; ++k) {
            r = (r & 1) ? (r >> 1) ^ 0xA001 : r >> 1;
        }
        ASSERT_EQ(auchCRCHi[i], r & 0xFF) << i;
        ASSERT_EQ(auchCRCLo[i], r >> 8) << i;
    }
}

struct RequestCase {
    int slave;
    std::uint8_t function;
    int address;
    std::uint16_t value;
    Bytes expected;
};

void PrintTo(const RequestCase& c, std::ostream* os) {
    *os << "fn " << int(c.function) << " addr " << c.address;
}

class BuildRequestTest : public ::testing::TestWithParam<RequestCase> {};

TEST_P(BuildRequestTest, ProducesTheKnownFrame) {
    const RequestCase& c = GetParam();
    FakePorts ports;
    CModbusComm comm(ports);
    comm.m_nSlaveAddr = c.slave;
    comm.m_nRecvLen = 5;
    comm.BuildRequest(c.function, c.address, c.value);
    EXPECT_EQ(SendBytes(comm), c.expected);
    EXPECT_EQ(comm.m_nRecvLen, 5);  // the receive side is left alone
}

INSTANTIATE_TEST_SUITE_P(
    Frames, BuildRequestTest,
    ::testing::Values(
        RequestCase{1, 0x03, 100, 9, {0x01, 0x03, 0x00, 0x64, 0x00, 0x09, 0xC4, 0x13}},
        RequestCase{1, 0x01, 0, 15, {0x01, 0x01, 0x00, 0x00, 0x00, 0x0F, 0x7C, 0x0E}},
        RequestCase{1, 0x03, 0, 1, {0x01, 0x03, 0x00, 0x00, 0x00, 0x01, 0x84, 0x0A}},
        RequestCase{1, 0x05, 200, 0xFF00, {0x01, 0x05, 0x00, 0xC8, 0xFF, 0x00, 0x0D, 0xC4}},
        RequestCase{1, 0x06, 312, 0, {0x01, 0x06, 0x01, 0x38, 0x00, 0x00, 0x09, 0xFB}},
        RequestCase{1, 0x06, 372, 0, {0x01, 0x06, 0x01, 0x74, 0x00, 0x00, 0xC8, 0x2C}},
        // Only the low 8 bits of the address and the low 16 of the register go out.
        RequestCase{
            0x101, 0x06, 0x10000 + 312, 0, {0x01, 0x06, 0x01, 0x38, 0x00, 0x00, 0x09, 0xFB}}));

struct CheckCase {
    const char* name;
    Bytes received;
    int result;
    Bytes startAfter;  // the buffer's first bytes afterwards
};

void PrintTo(const CheckCase& c, std::ostream* os) {
    *os << c.name;
}

class CheckResponseTest : public ::testing::TestWithParam<CheckCase> {};

TEST_P(CheckResponseTest, FindsTheFrameAndMovesIt) {
    const CheckCase& c = GetParam();
    FakePorts ports;
    CModbusComm comm(ports);
    Receive(comm, c.received);
    EXPECT_EQ(comm.CheckResponse(), c.result);
    EXPECT_EQ(comm.m_nRecvLen, static_cast<int>(c.received.size()));
    EXPECT_EQ(Bytes(comm.m_RecvBuf, comm.m_RecvBuf + c.startAfter.size()), c.startAfter);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, CheckResponseTest,
    ::testing::Values(
        CheckCase{"AtStart",
                  {0x01, 0x03, 0x02, 0x00, 0x05, 0x78, 0x47},
                  1,
                  {0x01, 0x03, 0x02, 0x00, 0x05, 0x78, 0x47}},
        CheckCase{"AfterNoise",
                  {0x01, 0xFF, 0x01, 0x03, 0x02, 0x00, 0x05, 0x78, 0x47},
                  1,
                  // moved to the front; the two bytes behind it stay as they were
                  {0x01, 0x03, 0x02, 0x00, 0x05, 0x78, 0x47, 0x78, 0x47}},
        CheckCase{"Exception", {0x01, 0x83, 0x02, 0xC0, 0xF1}, 1, {0x01, 0x83}},
        CheckCase{"FourBytes", {0x01, 0x05, 0xC0, 0x23}, 1, {0x01, 0x05, 0xC0, 0x23}},
        CheckCase{"ThreeBytes", {0x01, 0x05, 0xC0}, 0, {0x01, 0x05, 0xC0}},
        CheckCase{"TrailingByte", {0x01, 0x03, 0x02, 0x00, 0x05, 0x78, 0x47, 0x11}, 0, {0x01}},
        // A frame extended by 00 keeps a matching CRC: the CRC register runs to zero.
        CheckCase{"TrailingZero", {0x01, 0x03, 0x02, 0x00, 0x05, 0x78, 0x47, 0x00}, 1, {0x01}},
        CheckCase{"OtherSlave", {0x02, 0x03, 0x02, 0x00, 0x05, 0x78, 0x47}, 0, {0x02}},
        CheckCase{"BadCrc", {0x01, 0x03, 0x02, 0x00, 0x05, 0x78, 0x48}, 0, {0x01}},
        CheckCase{"Empty", {}, 0, {}}),
    [](const auto& param) { return std::string(param.param.name); });

TEST(CheckResponse, ComparesTheWholeSlaveAddress) {
    FakePorts ports;
    CModbusComm comm(ports);
    comm.m_nSlaveAddr = 0x101;  // the request carries 01, the search wants 0x101
    Receive(comm, {0x01, 0x03, 0x02, 0x00, 0x05, 0x78, 0x47});
    EXPECT_EQ(comm.CheckResponse(), 0);
}
