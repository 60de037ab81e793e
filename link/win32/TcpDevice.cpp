#include "link/win32/TcpDevice.h"

#include <mstcpip.h>
#include <ws2tcpip.h>

#include <vector>

#include "link/Deadline.h"
#include "link/OpenError.h"
#include "link/TcpAddress.h"
#include "link/TcpResolver.h"
#include "link/win32/Tick.h"

namespace {

// Keepalive as on Linux: first probe after 10 s idle, then every 5 s.
constexpr ULONG kKeepIdleMs = 10000;
constexpr ULONG kKeepIntervalMs = 5000;
constexpr std::size_t kPurgeLimit = 1 << 20;

class CSocket {
public:
    explicit CSocket(SOCKET s) : m_s(s) {}
    ~CSocket() {
        if (m_s != INVALID_SOCKET) {
            closesocket(m_s);
        }
    }
    CSocket(const CSocket&) = delete;
    CSocket& operator=(const CSocket&) = delete;
    SOCKET Get() const { return m_s; }
    SOCKET Release() {
        const SOCKET s = m_s;
        m_s = INVALID_SOCKET;
        return s;
    }

private:
    SOCKET m_s;
};

int PollFor(SOCKET s, short events, std::uint32_t ms, short& revents) {
    WSAPOLLFD p{};
    p.fd = s;
    p.events = events;
    const int r = WSAPoll(&p, 1, static_cast<INT>(ms));
    revents = p.revents;
    return r;
}

// One non-blocking connect bounded by ms: the socket, or INVALID_SOCKET with
// *error the Winsock error (WSAETIMEDOUT when the time ran out).
SOCKET ConnectWithin(const ResolvedAddress& a, std::uint32_t ms, int* error) {
    CSocket s(::socket(a.family, SOCK_STREAM, IPPROTO_TCP));
    if (s.Get() == INVALID_SOCKET) {
        *error = WSAGetLastError();
        return INVALID_SOCKET;
    }
    u_long nonBlocking = 1;
    ioctlsocket(s.Get(), FIONBIO, &nonBlocking);
    const BOOL on = TRUE;
    setsockopt(s.Get(), IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&on), sizeof on);
    if (::connect(s.Get(), reinterpret_cast<const sockaddr*>(&a.addr), a.length) == 0) {
        return s.Release();
    }
    if (WSAGetLastError() != WSAEWOULDBLOCK) {
        *error = WSAGetLastError();
        return INVALID_SOCKET;
    }
    short revents = 0;
    const int r = PollFor(s.Get(), POLLWRNORM, ms, revents);
    if (r <= 0) {
        *error = r == 0 ? WSAETIMEDOUT : WSAGetLastError();
        return INVALID_SOCKET;
    }
    int err = 0;
    int len = sizeof err;
    getsockopt(s.Get(), SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&err), &len);
    if (err != 0 || (revents & (POLLERR | POLLHUP)) != 0) {
        *error = err != 0 ? err : WSAECONNREFUSED;
        return INVALID_SOCKET;
    }
    return s.Release();
}

void KeepAlive(SOCKET s) {
    tcp_keepalive k{1, kKeepIdleMs, kKeepIntervalMs};
    DWORD returned = 0;
    WSAIoctl(s, SIO_KEEPALIVE_VALS, &k, sizeof k, nullptr, 0, &returned, nullptr, nullptr);
}

}  // namespace

bool StartWinsock() {
    static const bool started = [] {
        WSADATA data;
        return WSAStartup(MAKEWORD(2, 2), &data) == 0;
    }();
    return started;
}

std::unique_ptr<CTcpDevice> CTcpDevice::Open(const std::string& name, std::uint32_t waitMs,
                                             std::string& reason, int* error) {
    TcpAddress address;
    if (!ParseTcpPortName(name, address, reason)) {
        reason = "bad address: " + reason;
        *error = ERROR_BAD_NETPATH;
        return nullptr;
    }
    if (!StartWinsock()) {
        *error = WSASYSNOTREADY;
        reason = OpenErrorText(*error);
        return nullptr;
    }
    const CDeadline deadline(CSystemClock::Instance(), waitMs);
    std::vector<ResolvedAddress> candidates;
    if (!ResolveTcp(address.host, address.port, waitMs, candidates, reason)) {
        reason = "cannot resolve " + reason;
        *error = WSAHOST_NOT_FOUND;
        return nullptr;
    }
    int saved = WSAETIMEDOUT;
    for (const ResolvedAddress& a : candidates) {
        const std::uint32_t left = deadline.Remaining();
        if (left == 0) {
            break;
        }
        const SOCKET s = ConnectWithin(a, left, &saved);
        if (s != INVALID_SOCKET) {
            KeepAlive(s);
            *error = 0;
            std::unique_ptr<CTcpDevice> dev(new CTcpDevice(s));
            dev->m_bMbap = IsMbapPortName(name);
            return dev;
        }
    }
    reason = "connect to " + FormatHostPort(address) + ": " +
             (saved == WSAETIMEDOUT ? "no answer within " + std::to_string(waitMs) + " ms"
                                    : OpenErrorText(saved));
    *error = saved;
    return nullptr;
}

CTcpDevice::~CTcpDevice() {
    closesocket(m_socket);
}

int CTcpDevice::SetLine(std::uint32_t /*baud*/) {
    return 1;  // the device server's line is set up on the device server
}

void CTcpDevice::Discard(bool input, bool /*output*/) {
    if (!input || m_bEnded) {
        return;
    }
    std::uint8_t junk[4096];
    for (std::size_t total = 0; total < kPurgeLimit;) {
        const long n = Read(junk, sizeof junk);
        if (n <= 0) {
            return;
        }
        total += static_cast<std::size_t>(n);
    }
}

long CTcpDevice::QueuedInput() {
    u_long n = 0;
    if (m_bEnded || ioctlsocket(m_socket, FIONREAD, &n) != 0) {
        return -1;
    }
    return static_cast<long>(n);
}

long CTcpDevice::Read(std::uint8_t* buffer, std::size_t size) {
    if (m_bEnded) {
        return -1;
    }
    if (size == 0) {
        return 0;
    }
    const int n = ::recv(m_socket, reinterpret_cast<char*>(buffer), static_cast<int>(size), 0);
    if (n > 0) {
        return n;
    }
    if (n < 0 && WSAGetLastError() == WSAEWOULDBLOCK) {
        return 0;
    }
    m_bEnded = true;  // 0: the peer closed; otherwise reset or failed
    return -1;
}

long CTcpDevice::WriteSome(const std::uint8_t* buffer, std::size_t length) {
    if (m_bEnded) {
        return -1;
    }
    const int n =
        ::send(m_socket, reinterpret_cast<const char*>(buffer), static_cast<int>(length), 0);
    if (n >= 0) {
        return n;
    }
    if (WSAGetLastError() == WSAEWOULDBLOCK) {
        return 0;
    }
    m_bEnded = true;
    return -1;
}

long CTcpDevice::QueuedOutput() {
    return m_bEnded ? -1 : 0;
}

WaitResult CTcpDevice::WaitWritable(std::uint32_t ms) {
    if (m_bEnded) {
        return WaitResult::Failed;
    }
    short revents = 0;
    const int r = PollFor(m_socket, POLLWRNORM, ms, revents);
    if (r < 0 || (revents & (POLLERR | POLLHUP | POLLNVAL)) != 0) {
        return WaitResult::Failed;
    }
    return r == 0 ? WaitResult::TimedOut : WaitResult::Readable;
}

WaitResult CTcpDevice::WaitReadable(std::uint32_t ms) {
    if (m_bEnded) {
        return WaitResult::Failed;
    }
    short revents = 0;
    const int r = PollFor(m_socket, POLLRDNORM, ms, revents);
    if (r < 0) {
        return WaitResult::Failed;
    }
    if (r == 0) {
        return WaitResult::TimedOut;
    }
    // Bytes that came before a close are still the reply: read them first.
    if (QueuedInput() > 0) {
        return WaitResult::Readable;
    }
    // Readable with nothing to read is the end of the stream.
    m_bEnded = true;
    return WaitResult::Failed;
}
