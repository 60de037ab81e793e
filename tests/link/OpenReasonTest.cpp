// Why a port did not open, and an exchange that notices its device is gone:
// what a program that watches the unit for hours needs from the link.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <string>

#include "link/Exchange.h"
#include "link/NamedPort.h"
#include "link/OpenError.h"
#include "support/TestPty.h"

namespace {

std::unique_ptr<ISerialDevice> OpenByName(const std::string& name, int* error) {
    OpenFailure failure;
    auto device = OpenSerialDevice(name, 1500, failure);
    *error = failure.error;
    return device;
}

}  // namespace

TEST(OpenReason, EachFailureSaysWhy) {
    CTestPty pty;
    ASSERT_TRUE(pty.IsValid());
    int error = 0;
    auto held = OpenByName(pty.Path(), &error);
    ASSERT_NE(held, nullptr);
    EXPECT_EQ(error, 0);

    EXPECT_EQ(OpenByName(pty.Path(), &error), nullptr);
    EXPECT_EQ(error, EBUSY);
    EXPECT_NE(OpenErrorText(error).find("another program"), std::string::npos);

    EXPECT_EQ(OpenByName("/nonexistent/ttyUSB7", &error), nullptr);
    EXPECT_EQ(error, ENOENT);
    EXPECT_EQ(OpenErrorText(error), "no such device");

    // COMn as the console maps it, here through its variable.
    held.reset();
    setenv("K40_COM2", pty.Path().c_str(), 1);
    EXPECT_NE(OpenByName("COM2", &error), nullptr);
    unsetenv("K40_COM2");

    EXPECT_NE(OpenErrorText(EACCES).find("dialout"), std::string::npos);
}

TEST(OpenReason, PermissionRefusedAsAnOrdinaryUser) {
    // A device file only its owner may open; root opens anything, so the
    // refusal is only seen when the test does not run as root.
    char path[] = "/tmp/k40-open-XXXXXX";
    const int fd = mkstemp(path);
    ASSERT_GE(fd, 0);
    close(fd);
    chmod(path, 0);
    CNamedPort port(path);
    CModbusComm comm(port);
    EXPECT_EQ(comm.InitPort(), 0);
    if (geteuid() != 0) {
        EXPECT_EQ(comm.m_nOpenError, EACCES);
    }
    unlink(path);
}

TEST(OpenReason, ExchangeReportsAVanishedDevice) {
    CTestPty pty;
    CNamedPort port(pty.Path());
    CModbusComm comm(port);
    ASSERT_EQ(comm.InitPort(), 1);
    EXPECT_EQ(comm.PortName(0), pty.Path());
    comm.m_nWaitTime = 200;
    const ExchangeResult quiet = RunExchange(comm, ExchangeVariant::Read, 0x03, 100, 9, nullptr);
    EXPECT_EQ(quiet.outcome, ExchangeOutcome::Timeout);
    EXPECT_FALSE(quiet.deviceFailed);  // a silent unit is no failed device

    pty.CloseMaster();  // the adapter is pulled
    const ExchangeResult gone = RunExchange(comm, ExchangeVariant::Read, 0x03, 100, 9, nullptr);
    EXPECT_EQ(gone.outcome, ExchangeOutcome::Timeout);
    EXPECT_TRUE(gone.deviceFailed);
}
