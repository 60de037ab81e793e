#include "link/posix/TcpDevice.h"

#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/socket.h>

#include <cerrno>
#include <cstring>
#include <vector>

#include "link/Deadline.h"
#include "link/TcpAddress.h"
#include "link/TcpResolver.h"
#include "link/posix/Eintr.h"
#include "link/posix/Tick.h"

namespace {

// Keepalive: a device server that lost power sends nothing; without probes a
// connection kept open for watching would look alive for hours.
constexpr int kKeepIdleS = 10;
constexpr int kKeepIntervalS = 5;
constexpr int kKeepCount = 3;
// A purge reads at most this much; a peer that floods faster is not outrun.
constexpr std::size_t kPurgeLimit = 1 << 20;

void SetOption(int fd, int level, int name, int value) {
    (void)setsockopt(fd, level, name, &value, sizeof value);
}

// One non-blocking connect bounded by ms. The connected socket, or -1 with
// errno set (ETIMEDOUT when the time ran out).
int ConnectWithin(const ResolvedAddress& a, std::uint32_t ms) {
    CFileDescriptor fd(::socket(a.family, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
    if (fd.Get() < 0) {
        return -1;
    }
    SetOption(fd.Get(), IPPROTO_TCP, TCP_NODELAY, 1);
    if (::connect(fd.Get(), reinterpret_cast<const sockaddr*>(&a.addr), a.length) == 0) {
        return fd.Release();
    }
    // After EINTR the connect goes on in the background, as after EINPROGRESS.
    if (errno != EINPROGRESS && errno != EINTR) {
        return -1;
    }
    pollfd p{fd.Get(), POLLOUT, 0};
    const int r = PollFor(p, ms);
    if (r < 0) {
        return -1;
    }
    if (r == 0) {
        errno = ETIMEDOUT;
        return -1;
    }
    int err = 0;
    socklen_t len = sizeof err;
    if (getsockopt(fd.Get(), SOL_SOCKET, SO_ERROR, &err, &len) != 0) {
        return -1;
    }
    if (err != 0) {
        errno = err;
        return -1;
    }
    return fd.Release();
}

}  // namespace

std::unique_ptr<CTcpDevice> CTcpDevice::Open(const std::string& name, std::uint32_t waitMs,
                                             std::string& reason) {
    TcpAddress address;
    if (!ParseTcpPortName(name, address, reason)) {
        reason = "bad address: " + reason;
        errno = EINVAL;
        return nullptr;
    }
    const CDeadline deadline(CSystemClock::Instance(), waitMs);
    std::vector<ResolvedAddress> candidates;
    if (!ResolveTcp(address.host, address.port, waitMs, candidates, reason)) {
        reason = "cannot resolve " + reason;
        errno = ENXIO;
        return nullptr;
    }
    int saved = ETIMEDOUT;
    for (const ResolvedAddress& a : candidates) {
        const std::uint32_t left = deadline.Remaining();
        if (left == 0) {
            break;
        }
        const int fd = ConnectWithin(a, left);
        if (fd >= 0) {
            std::unique_ptr<CTcpDevice> dev(new CTcpDevice(fd));
            dev->m_bMbap = IsMbapPortName(name);
            SetOption(fd, SOL_SOCKET, SO_KEEPALIVE, 1);
            SetOption(fd, IPPROTO_TCP, TCP_KEEPIDLE, kKeepIdleS);
            SetOption(fd, IPPROTO_TCP, TCP_KEEPINTVL, kKeepIntervalS);
            SetOption(fd, IPPROTO_TCP, TCP_KEEPCNT, kKeepCount);
            return dev;
        }
        saved = errno;
    }
    reason = "connect to " + FormatHostPort(address) + ": " +
             (saved == ETIMEDOUT ? "no answer within " + std::to_string(waitMs) + " ms"
                                 : std::string(std::strerror(saved)));
    errno = saved;
    return nullptr;
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
    int n = 0;
    if (m_bEnded || ioctl(m_fd.Get(), FIONREAD, &n) != 0) {
        return -1;
    }
    return n;
}

long CTcpDevice::Read(std::uint8_t* buffer, std::size_t size) {
    if (m_bEnded) {
        return -1;
    }
    if (size == 0) {
        return 0;
    }
    const ssize_t n = RetryOnEintr([&] { return ::recv(m_fd.Get(), buffer, size, MSG_DONTWAIT); });
    if (n > 0) {
        return static_cast<long>(n);
    }
    if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
        return 0;
    }
    m_bEnded = true;  // 0: the peer closed; otherwise reset or failed
    return -1;
}

long CTcpDevice::WriteSome(const std::uint8_t* buffer, std::size_t length) {
    if (m_bEnded) {
        return -1;
    }
    // MSG_NOSIGNAL: a peer that has gone must fail the write, not end the program.
    const ssize_t n = RetryOnEintr(
        [&] { return ::send(m_fd.Get(), buffer, length, MSG_DONTWAIT | MSG_NOSIGNAL); });
    if (n >= 0) {
        return static_cast<long>(n);
    }
    if (errno == EAGAIN || errno == EWOULDBLOCK) {
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
    pollfd p{m_fd.Get(), POLLOUT, 0};
    const int r = PollFor(p, ms);
    if (r < 0 || (p.revents & (POLLERR | POLLHUP | POLLNVAL)) != 0) {
        return WaitResult::Failed;
    }
    return r == 0 ? WaitResult::TimedOut : WaitResult::Readable;
}

WaitResult CTcpDevice::WaitReadable(std::uint32_t ms) {
    if (m_bEnded) {
        return WaitResult::Failed;
    }
    pollfd p{m_fd.Get(), POLLIN | POLLRDHUP, 0};
    const int r = PollFor(p, ms);
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
    // Readable with nothing to read is the end of the stream; a hang-up or an
    // error the same. Waiting again would return at once: report it instead.
    m_bEnded = true;
    return WaitResult::Failed;
}
