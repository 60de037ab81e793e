// The port's state machine and its queue handling, on a fake device.
#include <gtest/gtest.h>

#include "link/ModbusComm.h"
#include "support/FakeSerial.h"

namespace {

struct Fixture : ::testing::Test {
    FakeClock clock;
    FakeLine com1{clock};
    FakeLine com2{clock};
    FakePorts ports;
    Fixture() { ports.Attach(0, com1); }
};

}  // namespace

using SerialComm = Fixture;

TEST_F(SerialComm, StartsClosedWithTheDefaults) {
    CModbusComm comm(ports);
    EXPECT_FALSE(comm.IsOpen());
    EXPECT_EQ(comm.m_nOpenPort, 0);
    EXPECT_EQ(comm.m_nPort, 0);
    EXPECT_EQ(comm.m_nBaud, 4);
    EXPECT_EQ(comm.m_nTimeout, 10000);
    EXPECT_EQ(comm.m_nSlaveAddr, 1);
    EXPECT_EQ(comm.m_nWaitTime, 1500u);
    EXPECT_EQ(comm.m_nRecvLen, 0);
    EXPECT_EQ(comm.m_nSendLen, 0);
}

TEST_F(SerialComm, FirstInitOpensCom1At9600) {
    CModbusComm comm(ports);
    EXPECT_EQ(comm.InitPort(), 1);
    EXPECT_TRUE(com1.m_bOpen);
    EXPECT_EQ(com1.m_nBaud, 9600u);
}

TEST_F(SerialComm, BaudTable) {
    const std::uint32_t rates[] = {600, 1200, 2400, 4800, 9600, 19200, 38400};
    for (int i = 0; i < 7; ++i) {
        CModbusComm comm(ports);
        comm.m_nBaud = i;
        ASSERT_EQ(comm.InitPort(), 1);
        EXPECT_EQ(com1.m_nBaud, rates[i]);
    }
    CModbusComm comm(ports);
    comm.m_nBaud = 7;  // a rate the line refuses: InitPort fails, the port stays open
    EXPECT_EQ(comm.InitPort(), 0);
    EXPECT_TRUE(comm.IsOpen());
}

TEST_F(SerialComm, OpeningTwiceReopens) {
    CModbusComm comm(ports);
    EXPECT_EQ(comm.OpenPort(), 1);
    EXPECT_EQ(comm.OpenPort(), 1);
    EXPECT_EQ(com1.m_nOpens, 2);
    EXPECT_TRUE(com1.m_bOpen);
}

TEST_F(SerialComm, SwitchingToAMissingPortLeavesNothingOpen) {
    CModbusComm comm(ports);
    ASSERT_EQ(comm.InitPort(), 1);
    comm.m_nPort = 1;
    EXPECT_EQ(comm.InitPort(), 0);
    EXPECT_FALSE(comm.IsOpen());
    EXPECT_FALSE(com1.m_bOpen);
    EXPECT_EQ(comm.m_nOpenPort, 1);
}

TEST_F(SerialComm, PortInUseFailsToOpen) {
    com1.m_bBusy = true;
    CModbusComm comm(ports);
    EXPECT_EQ(comm.InitPort(), 0);
    EXPECT_FALSE(comm.IsOpen());
}

TEST_F(SerialComm, ClosedPortRefusesEverything) {
    CModbusComm comm(ports);
    std::uint8_t buf[4] = {};
    EXPECT_EQ(comm.SetupPort(), 0);
    EXPECT_EQ(comm.ClosePort(), 0);
    EXPECT_EQ(comm.ReadData(buf, 4), 0u);
    EXPECT_EQ(comm.WriteData(buf, 4), 0);
}

TEST_F(SerialComm, DestructorClosesThePort) {
    {
        CModbusComm comm(ports);
        ASSERT_EQ(comm.InitPort(), 1);
        ASSERT_TRUE(com1.m_bOpen);
    }
    EXPECT_FALSE(com1.m_bOpen);
}

TEST_F(SerialComm, ReadsOnlyWhatIsQueued) {
    CModbusComm comm(ports);
    ASSERT_EQ(comm.InitPort(), 1);
    std::uint8_t buf[64] = {};

    EXPECT_EQ(comm.ReadData(buf, 64), 0u);
    EXPECT_EQ(com1.m_nReads, 0);  // nothing queued: no read at all

    com1.Arrive(0, Bytes(30, 0xAB));
    EXPECT_EQ(comm.ReadData(buf, 0), 0u);
    EXPECT_EQ(com1.m_nReads, 0);
    EXPECT_EQ(comm.ReadData(buf, 10), 10u);
    EXPECT_EQ(com1.m_input.size(), 20u);
    EXPECT_EQ(comm.ReadData(buf, 64), 20u);
}

struct PurgeCase {
    int kind;
    int discardIn;
    int discardOut;
    int recvLen;
    int sendLen;
};

void PrintTo(const PurgeCase& c, std::ostream* os) {
    *os << "kind " << c.kind;
}

class PurgeTest : public Fixture, public ::testing::WithParamInterface<PurgeCase> {};

TEST_P(PurgeTest, DiscardsAndResetsCounts) {
    const PurgeCase& c = GetParam();
    CModbusComm comm(ports);
    ASSERT_EQ(comm.InitPort(), 1);
    const int in0 = com1.m_nDiscardIn;
    const int out0 = com1.m_nDiscardOut;
    comm.m_nRecvLen = 7;
    comm.m_nSendLen = 8;
    comm.Purge(static_cast<std::uint8_t>(c.kind));
    EXPECT_EQ(com1.m_nDiscardIn - in0, c.discardIn);
    EXPECT_EQ(com1.m_nDiscardOut - out0, c.discardOut);
    EXPECT_EQ(comm.m_nRecvLen, c.recvLen);
    EXPECT_EQ(comm.m_nSendLen, c.sendLen);
}

INSTANTIATE_TEST_SUITE_P(Kinds, PurgeTest,
                         ::testing::Values(PurgeCase{0, 1, 0, 0, 8}, PurgeCase{1, 0, 1, 7, 0},
                                           PurgeCase{2, 1, 1, 0, 0}, PurgeCase{3, 0, 0, 7, 8},
                                           PurgeCase{255, 0, 0, 7, 8}));

TEST_F(SerialComm, PurgeOnAClosedPortStillResetsCounts) {
    CModbusComm comm(ports);
    comm.m_nRecvLen = 7;
    comm.m_nSendLen = 8;
    comm.Purge(2);
    EXPECT_EQ(comm.m_nRecvLen, 0);
    EXPECT_EQ(comm.m_nSendLen, 0);
}
