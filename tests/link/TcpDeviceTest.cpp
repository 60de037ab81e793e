// The TCP device on loopback connections, the test playing the device server
// with a plain socket; and the port names it accepts.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>

#include "link/Exchange.h"
#include "link/NamedPort.h"
#include "link/TcpAddress.h"
#include "link/TcpDevice.h"
#include "link/posix/TermiosDevice.h"

namespace {

using Clock = std::chrono::steady_clock;

long MsSince(Clock::time_point t) {
    return static_cast<long>(
        std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - t).count());
}

// A listening socket on 127.0.0.1 with a port of the system's choosing; with
// listening false only bound, so that a connect to it is refused.
class CLoopbackServer {
public:
    // backlog: how many connections the system completes before accept.
    explicit CLoopbackServer(bool listening = true, int backlog = 4)
        : m_fd(::socket(AF_INET, SOCK_STREAM, 0)) {
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t len = sizeof a;
        if (::bind(m_fd.Get(), reinterpret_cast<sockaddr*>(&a), len) == 0 &&
            (!listening || ::listen(m_fd.Get(), backlog) == 0) &&
            ::getsockname(m_fd.Get(), reinterpret_cast<sockaddr*>(&a), &len) == 0) {
            m_nPort = ntohs(a.sin_port);
        }
    }
    std::string Name() const { return "tcp://127.0.0.1:" + std::to_string(m_nPort); }
    // The connection of the client that connected, or -1.
    int Accept() { return ::accept(m_fd.Get(), nullptr, nullptr); }

private:
    CFileDescriptor m_fd;
    int m_nPort = 0;
};

std::unique_ptr<CTcpDevice> Connect(const std::string& name, std::uint32_t waitMs = 500) {
    std::string reason;
    int error = 0;
    auto dev = CTcpDevice::Open(name, waitMs, reason, error);
    EXPECT_TRUE(dev) << reason;
    return dev;
}

TEST(TcpAddress, PortNamesAreParsedOrRejectedWithAReason) {
    struct Case {
        const char* name;
        const char* host;  // null: rejected
        int port;
    };
    const Case cases[] = {
        {"tcp://127.0.0.1:502", "127.0.0.1", 502},
        {"tcp://[::1]:4001", "::1", 4001},
        {"tcp://[fe80::1%eth0]:65535", "fe80::1%eth0", 65535},
        {"tcp://ds-7.substation.example:1", "ds-7.substation.example", 1},
        {"tcp://127.0.0.1", nullptr, 0},        // no port
        {"tcp://127.0.0.1:", nullptr, 0},       // no port
        {"tcp://127.0.0.1:0", nullptr, 0},      // port 0
        {"tcp://127.0.0.1:65536", nullptr, 0},  // out of range
        {"tcp://127.0.0.1:70000", nullptr, 0},
        {"tcp://127.0.0.1:5o2", nullptr, 0},
        {"tcp://127.0.0.1:+502", nullptr, 0},
        {"tcp://127.0.0.1:0000000502", nullptr, 0},
        {"tcp://:502", nullptr, 0},        // no host
        {"tcp://::1:502", nullptr, 0},     // IPv6 without brackets
        {"tcp://[::1:502", nullptr, 0},    // no closing bracket
        {"tcp://[::1]502", nullptr, 0},    // no colon before the port
        {"tcp://[host]:502", nullptr, 0},  // brackets around a name
        {"tcp://a..b:502", nullptr, 0},    // empty label
        {"tcp://unit 1:502", nullptr, 0},  // blank
        {"tcp://host/x:502", nullptr, 0},
        {"/dev/ttyUSB0", nullptr, 0},  // a device, not a TCP port
        // Modbus TCP: the port may be left out, 502 then.
        {"mbtcp://10.0.0.7", "10.0.0.7", 502},
        {"mbtcp://gw-3.example:1502", "gw-3.example", 1502},
        {"mbtcp://[::1]", "::1", 502},
        {"mbtcp://[::1]:5020", "::1", 5020},
        {"mbtcp://[::1]502", nullptr, 0},
        {"mbtcp://10.0.0.7:0", nullptr, 0},
        {"mbtcp://", nullptr, 0},
    };
    for (const Case& c : cases) {
        TcpAddress a;
        std::string error;
        const bool ok = ParseTcpPortName(c.name, a, error);
        ASSERT_EQ(ok, c.host != nullptr) << c.name << ": " << error;
        if (ok) {
            EXPECT_EQ(a.host, c.host) << c.name;
            EXPECT_EQ(a.port, c.port) << c.name;
        } else {
            EXPECT_FALSE(error.empty()) << c.name;
        }
    }
    TcpAddress listener;
    std::string error;
    EXPECT_TRUE(ParseHostPort("127.0.0.1:0", true, listener, error)) << error;
    EXPECT_FALSE(ParseHostPort("127.0.0.1:0", false, listener, error));
}

TEST(TcpDevice, MalformedNamesAndRefusedConnectionsFailTheOpenAtOnce) {
    CLoopbackServer closed(false);  // bound, not listening: the connect is refused
    const std::string refused = closed.Name();
    for (const std::string& name :
         {refused, std::string("tcp://127.0.0.1"), std::string("tcp://127.0.0.1:0"),
          std::string("tcp://127.0.0.1:70000")}) {
        const auto start = Clock::now();
        std::string reason;
        int error = 0;
        EXPECT_EQ(CTcpDevice::Open(name, 1000, reason, error), nullptr) << name;
        EXPECT_EQ(error, name == refused ? ECONNREFUSED : EINVAL) << name;
        EXPECT_LT(MsSince(start), 500) << name;
        EXPECT_NE(reason.find(name == refused ? "refused" : "port"), std::string::npos)
            << name << ": " << reason;
        // The same through the ports, as the program opens COM1.
        ::setenv("K40_COM1", name.c_str(), 1);
        EXPECT_EQ(CTermiosPorts::Instance().Open(0, 1000), nullptr) << name;
        ::unsetenv("K40_COM1");
    }
}

TEST(TcpDevice, AHostNameIsLookedUpAndConnected) {
    // "localhost" comes from the hosts file: a name lookup without a name server.
    CLoopbackServer server;
    const std::string name =
        "tcp://localhost:" + server.Name().substr(server.Name().rfind(':') + 1);
    auto dev = Connect(name);
    ASSERT_TRUE(dev);
    CFileDescriptor peer(server.Accept());
    const std::uint8_t request[8] = {1, 3, 0, 0x64, 0, 9, 0xC4, 0x13};
    ASSERT_EQ(dev->WriteSome(request, sizeof request), 8);
    std::uint8_t got[8];
    EXPECT_EQ(::recv(peer.Get(), got, sizeof got, MSG_WAITALL), 8);
    EXPECT_EQ(std::memcmp(got, request, 8), 0);
}

TEST(TcpDevice, AServerThatNeverAnswersGivesTheTimeOut) {
    CLoopbackServer server;
    ::setenv("K40_COM1", server.Name().c_str(), 1);
    CModbusComm comm;
    comm.m_nWaitTime = 100;
    ASSERT_EQ(comm.InitPort(), 1);  // baud and line settings are accepted
    CFileDescriptor peer(server.Accept());
    const auto start = Clock::now();
    const ExchangeResult r = RunExchange(comm, ExchangeVariant::Read, 0x03, 100, 9, nullptr);
    EXPECT_EQ(r.outcome, ExchangeOutcome::Timeout);
    // The wait counts ticks of whole milliseconds: 100 of them can pass in
    // a little over 99 ms of the steady clock.
    EXPECT_GE(MsSince(start), 99);
    // The request reached the server unchanged.
    std::uint8_t got[16];
    EXPECT_EQ(::recv(peer.Get(), got, sizeof got, MSG_DONTWAIT), 8);
    EXPECT_EQ(got[0], 0x01);
    EXPECT_EQ(got[1], 0x03);
    ::unsetenv("K40_COM1");
}

TEST(TcpDevice, APurgeDiscardsWhatHasArrived) {
    CLoopbackServer server;
    auto dev = Connect(server.Name());
    ASSERT_TRUE(dev);
    CFileDescriptor peer(server.Accept());
    const std::uint8_t junk[5] = {1, 2, 3, 4, 5};
    ASSERT_EQ(::send(peer.Get(), junk, sizeof junk, 0), 5);
    ASSERT_EQ(dev->WaitReadable(1000), WaitResult::Readable);
    EXPECT_EQ(dev->QueuedInput(), 5);
    dev->Discard(true, false);
    EXPECT_EQ(dev->QueuedInput(), 0);
    EXPECT_EQ(dev->WaitReadable(20), WaitResult::TimedOut);
}

TEST(TcpDevice, APeerThatClosesIsAFailedDeviceNotAReadableOne) {
    CLoopbackServer server;
    auto dev = Connect(server.Name());
    ASSERT_TRUE(dev);
    {
        CFileDescriptor peer(server.Accept());
        const std::uint8_t last[2] = {0x01, 0x03};
        ASSERT_EQ(::send(peer.Get(), last, sizeof last, 0), 2);
    }  // closed: the bytes sent before are still there to read
    ASSERT_EQ(dev->WaitReadable(1000), WaitResult::Readable);
    std::uint8_t buf[8];
    EXPECT_EQ(dev->Read(buf, sizeof buf), 2);
    // Then the end of the stream: reported at once, not after the wait.
    const auto start = Clock::now();
    EXPECT_EQ(dev->WaitReadable(1000), WaitResult::Failed);
    EXPECT_LT(MsSince(start), 500);
    EXPECT_EQ(dev->Read(buf, sizeof buf), -1);
    EXPECT_EQ(dev->QueuedInput(), -1);
    EXPECT_EQ(dev->WriteSome(buf, 8), -1);
}

TEST(TcpDevice, AnExchangeEndsWhenThePeerClosesMidReply) {
    CLoopbackServer server;
    CNamedPort port(server.Name());
    CModbusComm comm(port);
    comm.m_nWaitTime = 5000;
    ASSERT_EQ(comm.InitPort(), 1);
    CFileDescriptor peer(server.Accept());
    std::thread closer([&] {
        std::uint8_t got[8];
        (void)::recv(peer.Get(), got, sizeof got, MSG_WAITALL);
        const std::uint8_t half[3] = {0x01, 0x03, 0x12};  // the start of the reply
        (void)::send(peer.Get(), half, sizeof half, 0);
        (void)::shutdown(peer.Get(), SHUT_RDWR);
    });
    const auto start = Clock::now();
    const ExchangeResult r = RunExchange(comm, ExchangeVariant::Read, 0x03, 100, 9, nullptr);
    closer.join();
    EXPECT_EQ(r.outcome, ExchangeOutcome::Timeout);
    EXPECT_TRUE(r.deviceFailed);
    EXPECT_EQ(comm.m_nRecvLen, 3);    // what came before the close was read
    EXPECT_LT(MsSince(start), 2500);  // not the 5 s wait
}

TEST(TcpDevice, TheConnectIsBoundedByTheLinksReplyWait) {
    // A server whose backlog is full takes no more connections: the system
    // drops the next handshake and retries it after a second, so only the
    // wait ends the connect. k40tool's settings page sets that wait.
    CLoopbackServer full(true, 0);
    auto first = Connect(full.Name());
    ASSERT_TRUE(first);
    CNamedPort port(full.Name());
    CModbusComm comm(port);
    comm.m_nWaitTime = 200;
    const auto start = Clock::now();
    EXPECT_EQ(comm.InitPort(), 0);
    EXPECT_GE(MsSince(start), 150);
    EXPECT_LT(MsSince(start), 1000);  // not the 1500 ms of a default bound
}

}  // namespace
