// The termios device and the port mapping on real pseudo-terminals.
#include <grp.h>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <termios.h>

#include <pthread.h>

#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <thread>

#include "link/Exchange.h"
#include "link/SerialComm.h"
#include "link/posix/RawLine.h"
#include "link/posix/TermiosDevice.h"
#include "support/TestPty.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

// Bytes written on the master reach the slave's queue a moment later.
bool AwaitQueued(ISerialDevice& dev, long count) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(100);
    while (dev.QueuedInput() != count) {
        if (std::chrono::steady_clock::now() > end) {
            return false;
        }
        dev.WaitReadable(10);
    }
    return true;
}

class ScopedEnv {
public:
    ScopedEnv(const char* name, const std::string& value) : m_name(name) {
        ::setenv(name, value.c_str(), 1);
    }
    ~ScopedEnv() { ::unsetenv(m_name); }

private:
    const char* m_name;
};

}  // namespace

TEST(TermiosDevice, OpensExclusively) {
    CTestPty pty;
    ASSERT_FALSE(pty.Path().empty());
    auto first = CTermiosDevice::Open(pty.Path());
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(CTermiosDevice::Open(pty.Path()), nullptr);  // held by us: in use
    first.reset();
    EXPECT_NE(CTermiosDevice::Open(pty.Path()), nullptr);  // released on close
    EXPECT_EQ(CTermiosDevice::Open("/nonexistent/ttyS9"), nullptr);
    EXPECT_EQ(CTermiosDevice::Open(""), nullptr);
}

// Root opens a terminal despite TIOCEXCL; an engineer does not. As an ordinary
// user, closing the port and opening it again at once (every "设  置") works.
TEST(TermiosDevice, ReopensAtOnceAsAnOrdinaryUser) {
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        const uid_t nobody = 65534;
        if (geteuid() == 0 &&
            (setgroups(0, nullptr) != 0 || setgid(nobody) != 0 || setuid(nobody) != 0)) {
            _exit(10);
        }
        CTestPty pty;  // made by the ordinary user, so it may open it
        if (pty.Path().empty()) {
            _exit(11);
        }
        for (int i = 0; i < 50; ++i) {
            auto dev = CTermiosDevice::Open(pty.Path());
            if (dev == nullptr) {
                _exit(20);
            }
        }
        _exit(0);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
}

TEST(TermiosDevice, LineStateQueueAndDiscard) {
    CTestPty pty;
    auto dev = CTermiosDevice::Open(pty.Path());
    ASSERT_NE(dev, nullptr);
    EXPECT_NE(dev->SetLine(LineSettings{}), 0);
    EXPECT_EQ(dev->SetLine(LineSettings{12345}), 0);  // not a rate of the table

    termios tio{};
    ASSERT_EQ(tcgetattr(dev->Fd(), &tio), 0);
    EXPECT_EQ(tio.c_cflag & CSIZE, static_cast<tcflag_t>(CS8));
    EXPECT_EQ(tio.c_cflag & (PARENB | CSTOPB | CRTSCTS), 0u);
    EXPECT_NE(tio.c_cflag & CLOCAL, 0u);
    EXPECT_EQ(tio.c_iflag & (IXON | IXOFF), 0u);
    EXPECT_EQ(tio.c_lflag & (ICANON | ECHO), 0u);
    EXPECT_EQ(tio.c_cc[VMIN], 0);
    EXPECT_EQ(tio.c_cc[VTIME], 0);
    EXPECT_EQ(cfgetospeed(&tio), static_cast<speed_t>(B9600));

    ASSERT_TRUE(pty.Send({1, 2, 3, 4, 5}));
    ASSERT_TRUE(AwaitQueued(*dev, 5));
    std::uint8_t buf[8] = {};
    EXPECT_EQ(dev->Read(buf, 2), 2);
    EXPECT_EQ(dev->QueuedInput(), 3);
    dev->Discard(true, false);
    EXPECT_EQ(dev->QueuedInput(), 0);
    EXPECT_EQ(dev->Read(buf, 8), 0);  // non-blocking: nothing there, no error
    EXPECT_EQ(dev->WaitReadable(1), WaitResult::TimedOut);
}

// Parity and stop bits reach the terminal; a byte failing its parity is
// dropped (INPCK with IGNPAR) only where there is a parity bit to check. A
// pseudo-terminal forces CS8 without PARENB whatever it is given, so PARENB
// is checked in the flags as made, the rest as the terminal keeps them.
TEST(TermiosDevice, ParityAndStopBitsOnThePty) {
    struct Case {
        LineSettings line;
        tcflag_t control;
        tcflag_t input;
        speed_t speed;
    };
    CTestPty pty;
    auto dev = CTermiosDevice::Open(pty.Path());
    ASSERT_NE(dev, nullptr);
    for (const Case& c : {
             Case{{9600, Parity::None, 1}, 0, 0, B9600},
             Case{{57600, Parity::Even, 1}, PARENB, INPCK | IGNPAR, B57600},
             // Again: nothing changes but the PARENB the terminal drops again.
             Case{{57600, Parity::Even, 1}, PARENB, INPCK | IGNPAR, B57600},
             Case{{115200, Parity::Odd, 1}, PARENB | PARODD, INPCK | IGNPAR, B115200},
             Case{{19200, Parity::None, 2}, CSTOPB, 0, B19200},
             Case{{9600, Parity::Even, 2}, PARENB | CSTOPB, INPCK | IGNPAR, B9600},
         }) {
        SCOPED_TRACE(LineName(c.line));
        ASSERT_NE(dev->SetLine(c.line), 0);
        termios tio{};
        ASSERT_EQ(tcgetattr(dev->Fd(), &tio), 0);
        EXPECT_EQ(TermiosFrameFlags(c.line).control, c.control);
        EXPECT_EQ(tio.c_cflag & (PARODD | CSTOPB), c.control & (PARODD | CSTOPB));
        EXPECT_EQ(tio.c_cflag & CSIZE, static_cast<tcflag_t>(CS8));
        EXPECT_EQ(tio.c_iflag & (INPCK | IGNPAR | PARMRK | ISTRIP), c.input);
        EXPECT_EQ(cfgetospeed(&tio), c.speed);
    }
}

TEST(TermiosDevice, WriteReachesTheOtherSide) {
    CTestPty pty;
    auto dev = CTermiosDevice::Open(pty.Path());
    ASSERT_NE(dev, nullptr);
    ASSERT_NE(dev->SetLine(LineSettings{}), 0);
    const Bytes req = {0x01, 0x03, 0x00, 0x64, 0x00, 0x09, 0xC4, 0x13};
    EXPECT_EQ(dev->WaitWritable(100), WaitResult::Readable);
    EXPECT_EQ(dev->WriteSome(req.data(), req.size()), 8);
    EXPECT_GE(dev->QueuedOutput(), 0);
    EXPECT_EQ(pty.Receive(8), req);
}

// The whole write through the serial object on a real pseudo-terminal: the
// bytes handed over, the output queue drained, 1.
TEST(TermiosDevice, AWriteThroughTheSerialObjectDrainsAndSucceeds) {
    CTestPty pty;
    ::setenv("K40_COM1", pty.Path().c_str(), 1);
    CSerialComm comm;
    ASSERT_EQ(comm.InitPort(), 1);
    const Bytes req = {0x01, 0x03, 0x00, 0x64, 0x00, 0x09, 0xC4, 0x13};
    EXPECT_EQ(comm.WriteData(req.data(), static_cast<int>(req.size())), 1);
    EXPECT_EQ(comm.Device()->QueuedOutput(), 0);
    EXPECT_EQ(pty.Receive(8), req);
    ::unsetenv("K40_COM1");
}

TEST(TermiosDevice, VanishedPeerFailsWithoutHanging) {
    CTestPty pty;
    auto dev = CTermiosDevice::Open(pty.Path());
    ASSERT_NE(dev, nullptr);
    ASSERT_NE(dev->SetLine(LineSettings{}), 0);
    pty.CloseMaster();  // the adapter is unplugged
    const Bytes req = {0x01, 0x03, 0x00, 0x64, 0x00, 0x09, 0xC4, 0x13};
    EXPECT_EQ(dev->WriteSome(req.data(), req.size()), -1);
    EXPECT_EQ(dev->WaitWritable(100), WaitResult::Failed);
    EXPECT_EQ(dev->WaitReadable(100), WaitResult::Failed);
    std::uint8_t buf[8];
    EXPECT_LE(dev->Read(buf, 8), 0);
}

// A watch's timer or a terminal resize interrupts the wait again and again;
// each interruption must not start the reply wait afresh.
TEST(TermiosDevice, SignalsDoNotStretchTheWait) {
    CTestPty pty;
    auto dev = CTermiosDevice::Open(pty.Path());
    ASSERT_NE(dev, nullptr);
    struct sigaction action {};
    struct sigaction old {};
    action.sa_handler = [](int) {};
    sigemptyset(&action.sa_mask);
    ASSERT_EQ(sigaction(SIGUSR1, &action, &old), 0);
    std::atomic<bool> waiting{true};
    const pthread_t waiter = pthread_self();
    std::thread signaller([&] {
        // Every 20 ms for at most 1 s: a wait restarted in full would never end before.
        for (int i = 0; i < 50 && waiting; ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
            pthread_kill(waiter, SIGUSR1);
        }
    });
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(dev->WaitReadable(100), WaitResult::TimedOut);
    const auto took = std::chrono::steady_clock::now() - start;
    waiting = false;
    signaller.join();
    sigaction(SIGUSR1, &old, nullptr);
    EXPECT_LT(took, std::chrono::milliseconds(500));
}

TEST(TermiosPorts, ReopenAndSwitchToAMissingPort) {
    CTestPty pty;
    ScopedEnv com1("K40_COM1", pty.Path());
    ScopedEnv com2("K40_COM2", "/nonexistent/ttyS1");
    CModbusComm comm;
    EXPECT_EQ(comm.InitPort(), 1);
    EXPECT_EQ(comm.InitPort(), 1);  // same port again: closed and opened anew
    EXPECT_EQ(CTermiosDevice::Open(pty.Path()), nullptr);

    comm.m_nPort = 1;
    EXPECT_EQ(comm.InitPort(), 0);
    EXPECT_FALSE(comm.IsOpen());
    EXPECT_EQ(comm.m_nOpenPort, 1);
    EXPECT_NE(CTermiosDevice::Open(pty.Path()), nullptr);  // COM1 was really released
}

TEST(TermiosPorts, ExchangeWithAPeerOnThePty) {
    CTestPty pty;
    ScopedEnv com1("K40_COM1", pty.Path());
    CModbusComm comm;
    ASSERT_EQ(comm.InitPort(), 1);
    const Bytes reply = {0x01, 0x03, 0x02, 0x00, 0x05, 0x78, 0x47};
    std::thread peer([&] {
        if (pty.Receive(8).size() == 8) {
            pty.Send(Bytes(reply.begin(), reply.begin() + 3));
            std::this_thread::sleep_for(std::chrono::milliseconds(5));  // a gap on the line
            pty.Send(Bytes(reply.begin() + 3, reply.end()));
        }
    });
    const ExchangeResult r = RunExchange(comm, ExchangeVariant::Read, 0x03, 0, 1, nullptr);
    peer.join();
    EXPECT_EQ(r.outcome, ExchangeOutcome::Reply);
    EXPECT_EQ(Bytes(comm.m_RecvBuf, comm.m_RecvBuf + 7), reply);
}
