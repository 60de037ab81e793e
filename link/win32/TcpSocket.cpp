// The TCP socket on Winsock, non-blocking and waited on with WSAPoll, and
// Winsock's name look-up.
#include "link/TcpSocket.h"

#include <winsock2.h>

#include <mstcpip.h>
#include <ws2tcpip.h>

#include <cstring>
#include <string>
#include <vector>

#include "link/OpenError.h"
#include "link/sockets/SocketAddress.h"
#include "link/win32/Winsock.h"

const int kTcpBadAddress = ERROR_BAD_NETPATH;
const int kTcpUnresolved = WSAHOST_NOT_FOUND;
const int kTcpTimedOut = WSAETIMEDOUT;

namespace {

// Keepalive as on Linux: first probe after 10 s idle, then every 5 s.
constexpr ULONG kKeepIdleMs = 10000;
constexpr ULONG kKeepIntervalMs = 5000;

SOCKET Sock(std::intptr_t handle) {
    return static_cast<SOCKET>(handle);
}

int PollFor(SOCKET s, short events, std::uint32_t ms, short& revents) {
    WSAPOLLFD p{};
    p.fd = s;
    p.events = events;
    const int r = WSAPoll(&p, 1, static_cast<INT>(ms));
    revents = p.revents;
    return r;
}

// Windows answers a refused SYN by sending it again, for about 2 s even on
// loopback: a wrong port would read as "no answer". Without SYN retransmissions
// the refusal comes back at once. Systems before Windows 10 1709 (and Wine)
// refuse the control; the connect then behaves as it always has.
void RefuseAtOnce(SOCKET s) {
    TCP_INITIAL_RTO_PARAMETERS rto{};
    rto.Rtt = TCP_INITIAL_RTO_UNSPECIFIED_RTT;
    rto.MaxSynRetransmissions = TCP_INITIAL_RTO_NO_SYN_RETRANSMISSIONS;
    DWORD returned = 0;
    WSAIoctl(s, SIO_TCP_INITIAL_RTO, &rto, sizeof rto, nullptr, 0, &returned, nullptr, nullptr);
}

// A connect that has begun: its outcome within ms, 0 or a Winsock error.
int AwaitConnect(SOCKET s, std::uint32_t ms) {
    short revents = 0;
    const int r = PollFor(s, POLLWRNORM, ms, revents);
    if (r <= 0) {
        return r == 0 ? WSAETIMEDOUT : WSAGetLastError();
    }
    int err = 0;
    int len = sizeof err;
    getsockopt(s, SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&err), &len);
    if (err == 0 && (revents & (POLLERR | POLLHUP)) != 0) {
        err = WSAECONNREFUSED;
    }
    return err;
}

}  // namespace

bool StartWinsock() {
    static const bool started = [] {
        WSADATA data;
        return WSAStartup(MAKEWORD(2, 2), &data) == 0;
    }();
    return started;
}

bool StartSockets(int& error) {
    if (StartWinsock()) {
        return true;
    }
    error = WSASYSNOTREADY;
    return false;
}

std::string ResolveErrorText(int code) {
    return SystemErrorText(code);  // getaddrinfo's codes are Winsock errors
}

CTcpSocket::~CTcpSocket() {
    if (Valid()) {
        closesocket(Sock(m_handle));
    }
}

CTcpSocket CTcpSocket::Connect(const ResolvedAddress& a, std::uint32_t ms, int& error) {
    sockaddr_storage address;
    const socklen_t length = ToSockaddr(a, address);
    CTcpSocket s(static_cast<std::intptr_t>(::socket(address.ss_family, SOCK_STREAM, IPPROTO_TCP)));
    if (!s.Valid()) {
        error = WSAGetLastError();
        return {};
    }
    u_long nonBlocking = 1;
    ioctlsocket(Sock(s.m_handle), FIONBIO, &nonBlocking);
    const BOOL on = TRUE;
    setsockopt(Sock(s.m_handle), IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&on),
               sizeof on);
    RefuseAtOnce(Sock(s.m_handle));
    if (::connect(Sock(s.m_handle), reinterpret_cast<const sockaddr*>(&address), length) != 0) {
        error = WSAGetLastError();
        if (error == WSAEWOULDBLOCK) {
            error = AwaitConnect(Sock(s.m_handle), ms);
        }
        if (error != 0) {
            return {};
        }
    }
    return s;
}

void CTcpSocket::KeepAlive() {
    tcp_keepalive k{1, kKeepIdleMs, kKeepIntervalMs};
    DWORD returned = 0;
    WSAIoctl(Sock(m_handle), SIO_KEEPALIVE_VALS, &k, sizeof k, nullptr, 0, &returned, nullptr,
             nullptr);
}

long CTcpSocket::Receive(std::uint8_t* buffer, std::size_t size) {
    const int n =
        ::recv(Sock(m_handle), reinterpret_cast<char*>(buffer), static_cast<int>(size), 0);
    if (n > 0) {
        return n;
    }
    return n < 0 && WSAGetLastError() == WSAEWOULDBLOCK ? 0 : -1;
}

long CTcpSocket::Send(const std::uint8_t* buffer, std::size_t length) {
    const int n =
        ::send(Sock(m_handle), reinterpret_cast<const char*>(buffer), static_cast<int>(length), 0);
    if (n >= 0) {
        return n;
    }
    return WSAGetLastError() == WSAEWOULDBLOCK ? 0 : -1;
}

long CTcpSocket::Pending() {
    u_long n = 0;
    return ioctlsocket(Sock(m_handle), FIONREAD, &n) == 0 ? static_cast<long>(n) : -1;
}

WaitResult CTcpSocket::WaitReadable(std::uint32_t ms) {
    short revents = 0;
    const int r = PollFor(Sock(m_handle), POLLRDNORM, ms, revents);
    if (r < 0) {
        return WaitResult::Failed;
    }
    return r == 0 ? WaitResult::TimedOut : WaitResult::Readable;
}

WaitResult CTcpSocket::WaitWritable(std::uint32_t ms) {
    short revents = 0;
    const int r = PollFor(Sock(m_handle), POLLWRNORM, ms, revents);
    if (r < 0 || (revents & (POLLERR | POLLHUP | POLLNVAL)) != 0) {
        return WaitResult::Failed;
    }
    return r == 0 ? WaitResult::TimedOut : WaitResult::Readable;
}
