// The simulator's end of the line on Windows: a TCP listener that plays a
// serial device server, one client at a time, on Winsock. A pseudo-terminal
// (--link) exists on Linux only; a real COM port (--device) is not offered
// here yet: the runner's line code is that of a Linux descriptor.
// Winsock's SOCKET is kept in the int members (sim/win32/SocketFd.h).
#include <winsock2.h>
#include <ws2tcpip.h>

#include "link/OpenError.h"
#include "link/TcpAddress.h"
#include "link/win32/Winsock.h"
#include "sim/SimPort.h"
#include "sim/win32/SocketFd.h"

namespace {

constexpr const char* kTcpOnly =
    "on Windows k40sim serves TCP only (a pseudo-terminal and --device are Linux's): "
    "use --listen [HOST:]PORT and name the port tcp://HOST:PORT";

void SetNonBlocking(SOCKET s) {
    u_long on = 1;
    ioctlsocket(s, FIONBIO, &on);
}

}  // namespace

CSimPort::~CSimPort() {
    CloseAll();
}

void CSimPort::CloseAll() {
    if (m_fd >= 0) {
        closesocket(AsSocket(m_fd));
    }
    if (m_listenFd >= 0) {
        closesocket(AsSocket(m_listenFd));
    }
    m_fd = m_listenFd = -1;
}

bool CSimPort::OpenPty(std::string& error) {
    error = kTcpOnly;
    return false;
}

bool CSimPort::OpenDevice(const std::string& /*path*/, const LineSettings& /*line*/,
                          std::string& error) {
    error = kTcpOnly;
    return false;
}

bool CSimPort::MakeLink(const std::string& /*linkPath*/, std::string& error) {
    error = "--link needs a pseudo-terminal, which Linux has and Windows has not";
    return false;
}

void CSimPort::RemoveLink() {}

void CSimPort::OnWatchEvent() {}

LineSettings CSimPort::ClientLine() const {
    return LineSettings{0};
}

const char* CSimPort::PlatformNote() {
    return "\nOn Windows: --listen only. --link (a pseudo-terminal) and --device are for Linux.\n";
}

bool CSimPort::Listen(const std::string& hostPort, std::string& error, bool mbtcp) {
    TcpAddress address;
    if (!ParseHostPort(hostPort, true, address, error)) {
        error = "--listen " + hostPort + ": " + error;
        return false;
    }
    if (!StartWinsock()) {
        error = "Winsock cannot be started";
        return false;
    }
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_PASSIVE | AI_NUMERICSERV;
    addrinfo* list = nullptr;
    if (getaddrinfo(address.host.c_str(), std::to_string(address.port).c_str(), &hints, &list) !=
        0) {
        error = address.host + ": " + OpenErrorText(WSAGetLastError());
        return false;
    }
    const addrinfo& ai = *list;
    const SOCKET s = ::socket(ai.ai_family, SOCK_STREAM, IPPROTO_TCP);
    m_listenFd = AsInt(s);
    // Windows' SO_REUSEADDR would let another program take the port as well;
    // exclusive use is what a listener wants there.
    const BOOL on = TRUE;
    const bool ok = s != INVALID_SOCKET &&
                    setsockopt(s, SOL_SOCKET, SO_EXCLUSIVEADDRUSE,
                               reinterpret_cast<const char*>(&on), sizeof on) == 0 &&
                    ::bind(s, ai.ai_addr, static_cast<int>(ai.ai_addrlen)) == 0 &&
                    ::listen(s, 8) == 0;
    freeaddrinfo(list);
    sockaddr_storage bound{};
    int length = sizeof bound;
    char host[NI_MAXHOST];
    char port[NI_MAXSERV];
    if (!ok || getsockname(s, reinterpret_cast<sockaddr*>(&bound), &length) != 0 ||
        getnameinfo(reinterpret_cast<sockaddr*>(&bound), length, host, sizeof host, port,
                    sizeof port, NI_NUMERICHOST | NI_NUMERICSERV) != 0) {
        error = "listen on " + FormatHostPort(address) + ": " + OpenErrorText(WSAGetLastError());
        CloseAll();
        return false;
    }
    SetNonBlocking(s);
    m_path = std::string(mbtcp ? "mbtcp://" : "tcp://") +
             FormatHostPort({host, static_cast<std::uint16_t>(std::stoi(port))});
    return true;
}

bool CSimPort::Accept() {
    if (m_listenFd < 0 || m_fd >= 0) {
        return false;
    }
    const SOCKET s = ::accept(AsSocket(m_listenFd), nullptr, nullptr);
    if (s == INVALID_SOCKET) {
        return false;
    }
    SetNonBlocking(s);
    // Each piece of a split reply goes out when it is due, as on the line;
    // Nagle would hold them back and merge them.
    const BOOL on = TRUE;
    setsockopt(s, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&on), sizeof on);
    m_fd = AsInt(s);
    return true;
}

void CSimPort::DropClient() {
    if (m_listenFd >= 0 && m_fd >= 0) {
        closesocket(AsSocket(m_fd));
        m_fd = -1;
    }
}
