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
#include "link/sockets/SocketAddress.h"

const int kTcpBadAddress = EINVAL;
const int kTcpUnresolved = ENXIO;
const int kTcpTimedOut = ETIMEDOUT;

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

}  // namespace

bool StartSockets(int& /*error*/) {
    return true;
}

std::string ResolveErrorText(int code) {
    return gai_strerror(code);
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
