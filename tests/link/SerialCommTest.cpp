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
    EXPECT_EQ(com1.m_settings, (LineSettings{9600, Parity::None, 1}));
}

TEST_F(SerialComm, BaudTable) {
    // The window's seven, then the two faster rates of k40ctl.
    const std::uint32_t rates[] = {600, 1200, 2400, 4800, 9600, 19200, 38400, 57600, 115200};
    for (int i = 0; i < 9; ++i) {
        CModbusComm comm(ports);
        comm.m_nBaud = i;
        ASSERT_EQ(comm.InitPort(), 1);
        EXPECT_EQ(com1.m_settings.baud, rates[i]);
    }
    CModbusComm comm(ports);
    comm.m_nBaud = 9;  // a rate the line refuses: InitPort fails, the port stays open
    EXPECT_EQ(comm.InitPort(), 0);
    EXPECT_TRUE(comm.IsOpen());
}

TEST_F(SerialComm, TheDeviceGetsTheLineSettings) {
    CModbusComm comm(ports);
    EXPECT_FALSE(comm.SetLineSettings(LineSettings{14400, Parity::Even, 1}));  // no such rate
    EXPECT_EQ(comm.Line(), LineSettings{});
    const LineSettings line{57600, Parity::Even, 2};
    ASSERT_TRUE(comm.SetLineSettings(line));
    ASSERT_EQ(comm.InitPort(), 1);
    EXPECT_EQ(com1.m_settings, line);
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

// The whole write, drain included, is bounded by 8 ms a byte plus m_nTimeout:
// 8 bytes and 100 ms give 164 ms on the fake clock.
TEST_F(SerialComm, AWriteEndsWithinItsLimitEvenWhenTheLineStopsSending) {
    struct Case {
        const char* what;
        bool writeStuck;
        bool drainStuck;
        std::uint32_t drainMs;
        int result;
        std::uint32_t minElapsed;  // the write waited at least this long
        std::uint32_t maxElapsed;  // and never more
    };
    const Case cases[] = {
        {"sent at once", false, false, 0, 1, 0, 0},
        {"drains in 20 ms", false, false, 20, 1, 20, 21},
        {"drains just within the limit", false, false, 163, 1, 163, 164},
        {"drains too late", false, false, 500, 0, 164, 165},
        {"never drains", false, true, 0, 0, 164, 165},
        {"driver takes nothing", true, false, 0, 0, 164, 165},
    };
    const Bytes frame = {0x01, 0x05, 0x00, 0xC8, 0xFF, 0x00, 0x0C, 0x04};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        FakeClock clk(0xFFFFFF00u);  // across the wrap of the tick
        FakeLine line{clk};
        FakePorts fakePorts;
        fakePorts.Attach(0, line);
        CModbusComm comm(fakePorts, clk);
        comm.m_nTimeout = 100;
        ASSERT_EQ(comm.InitPort(), 1);
        line.m_bWriteStuck = c.writeStuck;
        line.m_bDrainStuck = c.drainStuck;
        line.m_nDrainMs = c.drainMs;
        const std::uint32_t start = clk.m_nNow;
        EXPECT_EQ(comm.WriteData(frame.data(), static_cast<int>(frame.size())), c.result);
        const std::uint32_t elapsed = clk.m_nNow - start;
        EXPECT_GE(elapsed, c.minElapsed);
        EXPECT_LE(elapsed, c.maxElapsed);
        EXPECT_EQ(line.m_written, c.writeStuck ? Bytes{} : frame);
    }
}

TEST_F(SerialComm, AFailingDeviceFailsTheWriteAtOnce) {
    CModbusComm comm(ports, clock);
    ASSERT_EQ(comm.InitPort(), 1);
    com1.m_bWriteFails = true;
    const std::uint8_t buf[2] = {1, 2};
    EXPECT_EQ(comm.WriteData(buf, 2), 0);
    EXPECT_EQ(clock.m_nNow, 0u);
    com1.m_bWriteFails = false;
    com1.m_bWriteStuck = true;
    com1.m_bHungUp = true;  // the wait for room reports the hang-up
    EXPECT_EQ(comm.WriteData(buf, 2), 0);
    EXPECT_EQ(clock.m_nNow, 0u);
}
