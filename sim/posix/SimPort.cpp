#include "sim/SimPort.h"

#include "link/TcpAddress.h"
#include "link/posix/PortChecks.h"
#include "link/posix/RawLine.h"

#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/file.h>
#include <sys/inotify.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <initializer_list>
#include <vector>

namespace {

std::string Why(const std::string& what) {
    return what + ": " + std::strerror(errno);
}

// The pid of another k40sim that holds the device a link points to open, or 0.
// A simulator keeps its side of the terminal (or its device) open for its
// whole run; one that was killed took its pseudo-terminal with it, so its
// link points to nothing, or to a terminal that is someone else's now.
int RunningSimOf(const std::string& linkPath) {
    char target[512];
    const ssize_t n = ::readlink(linkPath.c_str(), target, sizeof target - 1);
    if (n <= 0) {
        return 0;
    }
    target[n] = '\0';
    for (const PortHolder& holder : FindPortHolders(target, "/proc")) {
        if (holder.command == "k40sim") {
            return holder.pid;
        }
    }
    return 0;
}

}  // namespace

CSimPort::~CSimPort() {
    RemoveLink();
    CloseAll();
}

void CSimPort::CloseAll() {
    for (int* fd : {&m_watchFd, &m_slaveFd, &m_fd, &m_listenFd}) {
        if (*fd >= 0) {
            (void)::close(*fd);
            *fd = -1;
        }
    }
}

bool CSimPort::OpenPty(std::string& error) {
    m_fd = posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (m_fd < 0) {
        error = Why("posix_openpt");
        return false;
    }
    char name[128];
    if (grantpt(m_fd) != 0 || unlockpt(m_fd) != 0 || ptsname_r(m_fd, name, sizeof name) != 0) {
        error = Why("pseudo-terminal");
        CloseAll();
        return false;
    }
    m_path = name;
    // Opened before any client can, so that a client's TIOCEXCL cannot keep us out.
    m_slaveFd = ::open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (m_slaveFd < 0 || !SetRawLine(m_slaveFd, LineSettings{0})) {
        error = Why(m_path);
        CloseAll();
        return false;
    }
    m_watchFd = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (m_watchFd >= 0 && inotify_add_watch(m_watchFd, name, IN_OPEN | IN_CLOSE) < 0) {
        (void)::close(m_watchFd);
        m_watchFd = -1;  // works on, only without lifting a left-over TIOCEXCL
    }
    return true;
}

bool CSimPort::OpenDevice(const std::string& path, const LineSettings& line, std::string& error) {
    if (TermiosSpeed(line.baud) == 0) {
        error = std::to_string(line.baud) + " baud is not a rate of a serial device";
        return false;
    }
    m_fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (m_fd < 0) {
        error = Why(path);
        return false;
    }
    if (::flock(m_fd, LOCK_EX | LOCK_NB) != 0) {
        error = path + " is in use by another program";
        CloseAll();
        return false;
    }
    if (!SetRawLine(m_fd, line)) {
        error = Why(path);
        CloseAll();
        return false;
    }
    (void)tcflush(m_fd, TCIOFLUSH);
    m_path = path;
    return true;
}

const char* CSimPort::PlatformNote() {
    return "";
}

bool CSimPort::Listen(const std::string& hostPort, std::string& error, bool mbtcp) {
    TcpAddress address;
    if (!ParseHostPort(hostPort, true, address, error)) {
        error = "--listen " + hostPort + ": " + error;
        return false;
    }
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_PASSIVE | AI_NUMERICSERV;
    addrinfo* list = nullptr;
    const int rc =
        getaddrinfo(address.host.c_str(), std::to_string(address.port).c_str(), &hints, &list);
    if (rc != 0) {
        error = address.host + ": " + gai_strerror(rc);
        return false;
    }
    const addrinfo& ai = *list;
    m_listenFd = ::socket(ai.ai_family, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    const int on = 1;
    // A restart on the same port works at once, while the last connection
    // still lingers in TIME_WAIT.
    const bool ok =
        m_listenFd >= 0 && setsockopt(m_listenFd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on) == 0 &&
        ::bind(m_listenFd, ai.ai_addr, ai.ai_addrlen) == 0 && ::listen(m_listenFd, 8) == 0;
    freeaddrinfo(list);
    sockaddr_storage bound{};
    socklen_t length = sizeof bound;
    char host[NI_MAXHOST];
    char port[NI_MAXSERV];
    if (!ok || getsockname(m_listenFd, reinterpret_cast<sockaddr*>(&bound), &length) != 0 ||
        getnameinfo(reinterpret_cast<sockaddr*>(&bound), length, host, sizeof host, port,
                    sizeof port, NI_NUMERICHOST | NI_NUMERICSERV) != 0) {
        error = Why("listen on " + FormatHostPort(address));
        CloseAll();
        return false;
    }
    m_path = std::string(mbtcp ? "mbtcp://" : "tcp://") +
             FormatHostPort({host, static_cast<std::uint16_t>(std::stoi(port))});
    return true;
}

bool CSimPort::Accept() {
    if (m_listenFd < 0 || m_fd >= 0) {
        return false;
    }
    m_fd = ::accept4(m_listenFd, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
    if (m_fd < 0) {
        return false;
    }
    // Each piece of a split reply, each junk byte ahead of a frame goes out
    // when it is due, as on the line; Nagle would hold them back and merge them.
    const int on = 1;
    (void)setsockopt(m_fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    return true;
}

void CSimPort::DropClient() {
    if (m_listenFd >= 0 && m_fd >= 0) {
        (void)::close(m_fd);
        m_fd = -1;
    }
}

bool CSimPort::MakeLink(const std::string& linkPath, std::string& error) {
    struct stat st {};
    if (::lstat(linkPath.c_str(), &st) == 0 && !S_ISLNK(st.st_mode)) {
        error = linkPath + " exists and is not a symbolic link";
        return false;
    }
    // Taking over a running simulator's link would move its clients to this
    // line, and its exit would then remove our link.
    if (const int pid = RunningSimOf(linkPath); pid != 0) {
        error = linkPath + " is the link of another k40sim (pid " + std::to_string(pid) +
                "), which still runs: stop it or choose another path";
        return false;
    }
    // A new link under a temporary name, then renamed over the old one: a
    // client never finds the path missing or pointing to a dead terminal.
    const std::string temp = linkPath + ".k40sim-" + std::to_string(::getpid());
    (void)::unlink(temp.c_str());
    if (::symlink(m_path.c_str(), temp.c_str()) != 0) {
        error = Why(linkPath);
        return false;
    }
    if (::rename(temp.c_str(), linkPath.c_str()) != 0) {
        error = Why(linkPath);
        (void)::unlink(temp.c_str());
        return false;
    }
    m_link = linkPath;
    return true;
}

void CSimPort::RemoveLink() {
    if (m_link.empty()) {
        return;
    }
    char target[512];
    const ssize_t n = ::readlink(m_link.c_str(), target, sizeof target - 1);
    if (n > 0) {
        target[n] = '\0';
        // Another simulator may have taken the path over since: leave its link.
        if (m_path == target) {
            (void)::unlink(m_link.c_str());
        }
    }
    m_link.clear();
}

LineSettings CSimPort::ClientLine() const {
    LineSettings line{0};
    termios tio{};
    if (m_slaveFd < 0 || tcgetattr(m_slaveFd, &tio) != 0) {
        return line;
    }
    // A pseudo-terminal carries bytes, not bits: the settings are only kept,
    // and not all of them: it clears PARENB. A master that checks parity sets
    // INPCK with it (k40ctl, libmodbus), and that flag the terminal keeps.
    if ((tio.c_cflag & PARENB) != 0 || (tio.c_iflag & INPCK) != 0) {
        line.parity = (tio.c_cflag & PARODD) != 0 ? Parity::Odd : Parity::Even;
    }
    line.stopBits = (tio.c_cflag & CSTOPB) != 0 ? 2 : 1;
    const speed_t speed = cfgetospeed(&tio);
    for (std::uint32_t baud :
         {300u, 600u, 1200u, 2400u, 4800u, 9600u, 19200u, 38400u, 57600u, 115200u, 230400u}) {
        if (TermiosSpeed(baud) == speed) {
            line.baud = baud;
        }
    }
    return line;
}

void CSimPort::OnWatchEvent() {
    alignas(inotify_event) char buf[4096];
    for (;;) {
        const ssize_t n = ::read(m_watchFd, buf, sizeof buf);
        if (n <= 0) {
            return;
        }
        for (ssize_t off = 0; off < n;) {
            const auto* ev = reinterpret_cast<const inotify_event*>(buf + off);
            if (ev->mask & IN_OPEN) {
                ++m_nOpeners;
            }
            if (ev->mask & IN_CLOSE) {
                if (--m_nOpeners <= 0) {
                    m_nOpeners = 0;
                    // The last client is gone: nobody holds the terminal exclusively any more.
                    (void)ioctl(m_slaveFd, TIOCNXCL);
                }
            }
            off += static_cast<ssize_t>(sizeof(inotify_event) + ev->len);
        }
    }
}
