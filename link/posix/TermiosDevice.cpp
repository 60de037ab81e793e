#include "link/posix/TermiosDevice.h"

#include <fcntl.h>
#include <linux/serial.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <utility>

#include "link/Deadline.h"
#include "link/OpenError.h"
#include "link/PortDiscovery.h"
#include "link/PortOrder.h"
#include "link/TcpAddress.h"
#include "link/TcpDevice.h"
#include "link/posix/Eintr.h"
#include "link/posix/RawLine.h"
#include "link/posix/Tick.h"

namespace {

// Without flow control nobody else should drive the modem lines: hold DTR and
// RTS off. A pseudo-terminal refuses this; that changes nothing for us.
void DropModemLines(int fd) {
    int bits = TIOCM_DTR | TIOCM_RTS;
    (void)ioctl(fd, TIOCMBIC, &bits);
}

// USB serial adapters otherwise hold received bytes for up to 16 ms before
// handing them on, which would add that much to every exchange.
void AskLowLatency(int fd) {
    serial_struct ss{};
    if (ioctl(fd, TIOCGSERIAL, &ss) == 0) {
        ss.flags |= ASYNC_LOW_LATENCY;
        (void)ioctl(fd, TIOCSSERIAL, &ss);
    }
}

}  // namespace

CFileDescriptor::~CFileDescriptor() {
    if (m_fd >= 0) {
        // Never retried: after EINTR the descriptor is already gone on Linux.
        (void)::close(m_fd);
    }
}

int CFileDescriptor::Release() {
    const int fd = m_fd;
    m_fd = -1;
    return fd;
}

std::unique_ptr<CTermiosDevice> CTermiosDevice::Open(const std::string& path, int* error) {
    int ignored = 0;
    int& why = error != nullptr ? *error : ignored;
    why = 0;
    if (path.empty()) {
        why = ENOENT;
        return nullptr;
    }
    CFileDescriptor fd(RetryOnEintr(
        [&] { return ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC); }));
    if (fd.Get() < 0) {
        why = errno;
        return nullptr;
    }
    // Exclusive like a Windows COM port: another program's advisory lock means
    // the port is in use; TIOCEXCL keeps later opens out.
    if (RetryOnEintr([&] { return ::flock(fd.Get(), LOCK_EX | LOCK_NB); }) != 0) {
        why = errno == EWOULDBLOCK ? EBUSY : errno;
        return nullptr;
    }
    if (ioctl(fd.Get(), TIOCEXCL) != 0 && errno != ENOTTY) {
        why = errno;
        return nullptr;
    }
    std::unique_ptr<CTermiosDevice> dev(new CTermiosDevice(fd.Release()));
    DropModemLines(dev->Fd());
    AskLowLatency(dev->Fd());
    dev->Discard(true, true);
    return dev;
}

CTermiosDevice::~CTermiosDevice() {
    // A pseudo-terminal keeps the exclusive mark after the last close, and
    // then only root could open it again: the next "设  置" would fail. A real
    // serial port forgets it at its last close anyway.
    (void)ioctl(m_fd.Get(), TIOCNXCL);
}

int CTermiosDevice::SetLine(const LineSettings& line) {
    // Only the rates of the baud table; 0 would mean "keep the rate".
    if (line.baud == 0 || !SetRawLine(m_fd.Get(), line)) {
        return 0;
    }
    DropModemLines(m_fd.Get());
    return 1;
}

void CTermiosDevice::Discard(bool input, bool output) {
    if (input && output) {
        (void)tcflush(m_fd.Get(), TCIOFLUSH);
    } else if (input) {
        (void)tcflush(m_fd.Get(), TCIFLUSH);
    } else if (output) {
        (void)tcflush(m_fd.Get(), TCOFLUSH);
    }
}

long CTermiosDevice::QueuedInput() {
    int n = 0;
    if (ioctl(m_fd.Get(), FIONREAD, &n) != 0) {
        return -1;
    }
    return n;
}

long CTermiosDevice::Read(std::uint8_t* buffer, std::size_t size) {
    const ssize_t n = RetryOnEintr([&] { return ::read(m_fd.Get(), buffer, size); });
    if (n < 0) {
        return errno == EAGAIN ? 0 : -1;
    }
    return static_cast<long>(n);
}

long CTermiosDevice::WriteSome(const std::uint8_t* buffer, std::size_t length) {
    const ssize_t n = RetryOnEintr([&] { return ::write(m_fd.Get(), buffer, length); });
    if (n < 0) {
        return errno == EAGAIN ? 0 : -1;  // EIO: the adapter was unplugged, or the line hung up
    }
    return static_cast<long>(n);
}

long CTermiosDevice::QueuedOutput() {
    int n = 0;
    if (ioctl(m_fd.Get(), TIOCOUTQ, &n) != 0) {
        return -1;
    }
    return n;
}

WaitResult CTermiosDevice::WaitWritable(std::uint32_t ms) {
    pollfd p{m_fd.Get(), POLLOUT, 0};
    const int r = PollFor(p, ms);
    if (r < 0 || (p.revents & (POLLERR | POLLHUP | POLLNVAL)) != 0) {
        return WaitResult::Failed;
    }
    return r == 0 ? WaitResult::TimedOut : WaitResult::Readable;
}

WaitResult CTermiosDevice::WaitReadable(std::uint32_t ms) {
    pollfd p{m_fd.Get(), POLLIN, 0};
    const int r = PollFor(p, ms);
    if (r < 0 || (p.revents & (POLLERR | POLLHUP | POLLNVAL)) != 0) {
        return WaitResult::Failed;
    }
    return r == 0 ? WaitResult::TimedOut : WaitResult::Readable;
}

CTermiosPorts::CTermiosPorts(std::string devDir, std::string sysDir)
    : m_devDir(std::move(devDir)), m_sysDir(std::move(sysDir)) {}

std::string CTermiosPorts::PortPath(int port) const {
    return ResolveComPort(port, m_devDir, m_sysDir);
}

std::string CTermiosPorts::PortDescription(int port) const {
    return DescribeComPort(port, m_devDir, m_sysDir);
}

void CTermiosPorts::SetFolders(std::string devDir, std::string sysDir) {
    m_devDir = std::move(devDir);
    m_sysDir = std::move(sysDir);
}

namespace {

// A device path, or "tcp://HOST:PORT" for a serial device server.
std::unique_ptr<ISerialDevice> OpenResolved(const std::string& path, std::uint32_t waitMs,
                                            OpenFailure& failure) {
    failure = OpenFailure{};
    if (IsTcpPortName(path)) {
        return CTcpDevice::Open(path, waitMs, failure.reason, failure.error);
    }
    auto device = CTermiosDevice::Open(path, &failure.error);
    if (!device) {
        failure.reason = OpenErrorText(failure.error);
    }
    return device;
}

}  // namespace

std::string ResolvePortName(const std::string& name) {
    if (const int number = ComPortNumber(name); number > 0) {
        return CTermiosPorts::Instance().PortPath(number - 1);
    }
    return name;
}

bool SameSerialDevice(const std::string& a, const std::string& b) {
    const std::string first = ResolvePortName(a), second = ResolvePortName(b);
    struct stat sa {}, sb {};
    if (stat(first.c_str(), &sa) == 0 && stat(second.c_str(), &sb) == 0 && S_ISCHR(sa.st_mode) &&
        S_ISCHR(sb.st_mode)) {
        return sa.st_rdev == sb.st_rdev;
    }
    return first == second;
}

std::unique_ptr<ISerialDevice> CTermiosPorts::Open(int port, std::uint32_t waitMs) {
    OpenFailure failure;
    auto device = OpenResolved(PortPath(port), waitMs, failure);
    m_nError = failure.error;
    return device;
}

std::unique_ptr<ISerialDevice> OpenSerialDevice(const std::string& name, std::uint32_t waitMs,
                                                OpenFailure& failure) {
    return OpenResolved(ResolvePortName(name), waitMs, failure);
}

CTermiosPorts& CTermiosPorts::Instance() {
    static CTermiosPorts ports;
    return ports;
}

void SetPortFolders(const std::string& devDir, const std::string& sysDir) {
    CTermiosPorts::Instance().SetFolders(devDir, sysDir);
}

ISerialPorts& SystemPorts() {
    return CTermiosPorts::Instance();
}
