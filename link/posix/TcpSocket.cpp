// The TCP socket and the name look-up on Linux: non-blocking calls that never
// raise SIGPIPE and are restarted after a signal.
#include "link/TcpSocket.h"

#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string>
#include <vector>

#include "link/posix/Eintr.h"
#include "link/posix/TermiosDevice.h"

const int kTcpBadAddress = EINVAL;
const int kTcpUnresolved = ENXIO;
const int kTcpTimedOut = ETIMEDOUT;
const int kNoSuchName = EAI_NONAME;

namespace {

// Keepalive: the first probe after 10 s idle, then every 5 s, 3 unanswered end it.
constexpr int kKeepIdleS = 10;
constexpr int kKeepIntervalS = 5;
constexpr int kKeepCount = 3;

void SetOption(int fd, int level, int name, int value) {
    (void)setsockopt(fd, level, name, &value, sizeof value);
}

int Fd(std::intptr_t handle) {
    return static_cast<int>(handle);
}

// A connect that has begun: its outcome within ms, 0 or an errno value.
int AwaitConnect(int fd, std::uint32_t ms) {
    pollfd p{fd, POLLOUT, 0};
    const int r = PollFor(p, ms);
    if (r <= 0) {
        return r == 0 ? ETIMEDOUT : errno;
    }
    int err = 0;
    socklen_t len = sizeof err;
    if (getsockopt(fd, SOL_SOCKET, SO_ERROR, &err, &len) != 0) {
        return errno;
    }
    return err;
}

// A socket address as the resolver hands it on; false for a family other
// than IPv4 and IPv6.
bool FromSockaddr(const sockaddr* sa, std::size_t length, ResolvedAddress& out) {
    if (sa->sa_family == AF_INET && length >= sizeof(sockaddr_in)) {
        sockaddr_in in{};
        std::memcpy(&in, sa, sizeof in);
        std::memcpy(out.bytes.data(), &in.sin_addr, 4);
        out.port = ntohs(in.sin_port);
        return true;
    }
    if (sa->sa_family == AF_INET6 && length >= sizeof(sockaddr_in6)) {
        sockaddr_in6 in6{};
        std::memcpy(&in6, sa, sizeof in6);
        std::memcpy(out.bytes.data(), &in6.sin6_addr, 16);
        out.v6 = true;
        out.port = ntohs(in6.sin6_port);
        out.scope = in6.sin6_scope_id;
        return true;
    }
    return false;
}

// The socket address connect takes for a resolved one, and its length.
socklen_t ToSockaddr(const ResolvedAddress& a, sockaddr_storage& storage) {
    storage = sockaddr_storage{};
    if (!a.v6) {
        sockaddr_in in{};
        in.sin_family = AF_INET;
        in.sin_port = htons(a.port);
        std::memcpy(&in.sin_addr, a.bytes.data(), 4);
        std::memcpy(&storage, &in, sizeof in);
        return sizeof in;
    }
    sockaddr_in6 in6{};
    in6.sin6_family = AF_INET6;
    in6.sin6_port = htons(a.port);
    std::memcpy(&in6.sin6_addr, a.bytes.data(), 16);
    in6.sin6_scope_id = a.scope;
    std::memcpy(&storage, &in6, sizeof in6);
    return sizeof in6;
}

}  // namespace

bool StartSockets(int& /*error*/) {
    return true;
}

std::string ResolveErrorText(int code) {
    return gai_strerror(code);
}

int LookUpTcp(const std::string& host, std::uint16_t port, bool numericOnly,
              std::vector<ResolvedAddress>& out) {
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_protocol = IPPROTO_TCP;
    hints.ai_flags = AI_NUMERICSERV | (numericOnly ? AI_NUMERICHOST : 0);
    addrinfo* list = nullptr;
    const int rc = getaddrinfo(host.c_str(), std::to_string(port).c_str(), &hints, &list);
    if (rc != 0) {
        return rc;
    }
    const std::size_t before = out.size();
    for (const addrinfo* ai = list; ai != nullptr; ai = ai->ai_next) {
        ResolvedAddress a;
        if (FromSockaddr(ai->ai_addr, ai->ai_addrlen, a)) {
            out.push_back(a);
        }
    }
    freeaddrinfo(list);
    return out.size() == before ? EAI_NONAME : 0;
}

CTcpSocket::~CTcpSocket() {
    if (Valid()) {
        ::close(Fd(m_handle));
    }
}

CTcpSocket CTcpSocket::Connect(const ResolvedAddress& a, std::uint32_t ms, int& error) {
    sockaddr_storage address;
    const socklen_t length = ToSockaddr(a, address);
    CFileDescriptor fd(::socket(address.ss_family, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
    if (fd.Get() < 0) {
        error = errno;
        return {};
    }
    SetOption(fd.Get(), IPPROTO_TCP, TCP_NODELAY, 1);
    if (::connect(fd.Get(), reinterpret_cast<const sockaddr*>(&address), length) != 0) {
        // After EINTR the connect goes on in the background, as after EINPROGRESS.
        error = errno == EINPROGRESS || errno == EINTR ? AwaitConnect(fd.Get(), ms) : errno;
        if (error != 0) {
            return {};
        }
    }
    return CTcpSocket(fd.Release());
}

void CTcpSocket::KeepAlive() {
    SetOption(Fd(m_handle), SOL_SOCKET, SO_KEEPALIVE, 1);
    SetOption(Fd(m_handle), IPPROTO_TCP, TCP_KEEPIDLE, kKeepIdleS);
    SetOption(Fd(m_handle), IPPROTO_TCP, TCP_KEEPINTVL, kKeepIntervalS);
    SetOption(Fd(m_handle), IPPROTO_TCP, TCP_KEEPCNT, kKeepCount);
}

long CTcpSocket::Receive(std::uint8_t* buffer, std::size_t size) {
    const ssize_t n =
        RetryOnEintr([&] { return ::recv(Fd(m_handle), buffer, size, MSG_DONTWAIT); });
    if (n > 0) {
        return static_cast<long>(n);
    }
    return n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK) ? 0 : -1;
}

long CTcpSocket::Send(const std::uint8_t* buffer, std::size_t length) {
    // MSG_NOSIGNAL: a peer that has gone must fail the write, not end the program.
    const ssize_t n = RetryOnEintr(
        [&] { return ::send(Fd(m_handle), buffer, length, MSG_DONTWAIT | MSG_NOSIGNAL); });
    if (n >= 0) {
        return static_cast<long>(n);
    }
    return errno == EAGAIN || errno == EWOULDBLOCK ? 0 : -1;
}

long CTcpSocket::Pending() {
    int n = 0;
    return ioctl(Fd(m_handle), FIONREAD, &n) == 0 ? n : -1;
}

WaitResult CTcpSocket::WaitReadable(std::uint32_t ms) {
    pollfd p{Fd(m_handle), POLLIN | POLLRDHUP, 0};
    const int r = PollFor(p, ms);
    if (r < 0) {
        return WaitResult::Failed;
    }
    return r == 0 ? WaitResult::TimedOut : WaitResult::Readable;
}

WaitResult CTcpSocket::WaitWritable(std::uint32_t ms) {
    pollfd p{Fd(m_handle), POLLOUT, 0};
    const int r = PollFor(p, ms);
    if (r < 0 || (p.revents & (POLLERR | POLLHUP | POLLNVAL)) != 0) {
        return WaitResult::Failed;
    }
    return r == 0 ? WaitResult::TimedOut : WaitResult::Readable;
}
