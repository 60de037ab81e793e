// The test line under Wine: loopback TCP. The test listens on 127.0.0.1 at a
// port the system picks, and the program opens tcp://127.0.0.1:PORT as COM1
// (K40_COM1), as it would a serial device server: no test needs a COM port.
// The program closing and reopening the port makes a new connection; the
// newest one is the line, and what the program wrote on an old one is gone
// with it, as a reopened serial port's input is.
#include <winsock2.h>
#include <ws2tcpip.h>

#include <algorithm>
#include <chrono>

#include "link/win32/Winsock.h"
#include "tests/console/support/TestLine.h"

namespace {

using Clock = std::chrono::steady_clock;

// Whether s has something to read (data, end or a connection) within waitMs.
bool Readable(SOCKET s, int waitMs) {
    fd_set set;
    FD_ZERO(&set);
    FD_SET(s, &set);
    timeval tv{waitMs / 1000, (waitMs % 1000) * 1000};
    return select(0, &set, nullptr, nullptr, &tv) == 1;
}

}  // namespace

struct CTestLine::Impl {
    SOCKET listener = INVALID_SOCKET;
    SOCKET conn = INVALID_SOCKET;
    std::string portName;

    // Takes the connection the program made last, if one waits.
    void AcceptNewest() {
        while (listener != INVALID_SOCKET && Readable(listener, 0)) {
            SOCKET s = accept(listener, nullptr, nullptr);
            if (s == INVALID_SOCKET) {
                return;
            }
            Drop();
            conn = s;
        }
    }
    // Whether the connection is still open on the program's side; drops it
    // once the program has closed it.
    bool Open() {
        char byte;
        if (conn != INVALID_SOCKET && Readable(conn, 0) && recv(conn, &byte, 1, MSG_PEEK) <= 0) {
            Drop();
        }
        return conn != INVALID_SOCKET;
    }
    void Drop() {
        if (conn != INVALID_SOCKET) {
            closesocket(conn);
            conn = INVALID_SOCKET;
        }
    }
};

CTestLine::CTestLine(Hold) : m_pImpl(std::make_unique<Impl>()) {
    if (!StartWinsock()) {
        return;
    }
    SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    int length = sizeof address;
    if (s == INVALID_SOCKET || bind(s, reinterpret_cast<sockaddr*>(&address), length) != 0 ||
        listen(s, 4) != 0 ||
        getsockname(s, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        if (s != INVALID_SOCKET) {
            closesocket(s);
        }
        return;
    }
    m_pImpl->listener = s;
    m_pImpl->portName = "tcp://127.0.0.1:" + std::to_string(ntohs(address.sin_port));
}

CTestLine::~CTestLine() {
    m_pImpl->Drop();
    if (m_pImpl->listener != INVALID_SOCKET) {
        closesocket(m_pImpl->listener);
    }
}

bool CTestLine::IsValid() const {
    return m_pImpl->listener != INVALID_SOCKET;
}

const std::string& CTestLine::PortName() const {
    return m_pImpl->portName;
}

bool CTestLine::Send(const Bytes& bytes) {
    m_pImpl->AcceptNewest();
    if (m_pImpl->conn == INVALID_SOCKET) {
        return false;
    }
    const char* data = reinterpret_cast<const char*>(bytes.data());
    const int size = static_cast<int>(bytes.size());
    return send(m_pImpl->conn, data, size, 0) == size;
}

CTestLine::Bytes CTestLine::Receive(std::size_t count, int timeoutMs) {
    const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    Bytes bytes;
    while (bytes.size() < count) {
        m_pImpl->AcceptNewest();
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - Clock::now()).count();
        if (left <= 0) {
            break;
        }
        // Short slices, so that a connection made meanwhile is taken.
        const int slice = static_cast<int>(left < 20 ? left : 20);
        if (m_pImpl->conn == INVALID_SOCKET || !Readable(m_pImpl->conn, slice)) {
            if (m_pImpl->conn == INVALID_SOCKET) {
                Readable(m_pImpl->listener, slice);
            }
            continue;
        }
        char buffer[256];
        const int want = static_cast<int>(std::min(sizeof buffer, count - bytes.size()));
        const int got = recv(m_pImpl->conn, buffer, want, 0);
        if (got <= 0) {
            m_pImpl->Drop();  // the program closed the port
            continue;
        }
        bytes.insert(bytes.end(), buffer, buffer + got);
    }
    return bytes;
}

bool CTestLine::HasInput() const {
    m_pImpl->AcceptNewest();
    char byte;
    return m_pImpl->conn != INVALID_SOCKET && Readable(m_pImpl->conn, 0) &&
           recv(m_pImpl->conn, &byte, 1, MSG_PEEK) == 1;
}

bool CTestLine::ProgramHoldsLine() const {
    m_pImpl->AcceptNewest();
    return m_pImpl->Open();
}
