// One TCP socket and the name look-up: the calls that differ between Linux
// (link/posix/TcpSocket.cpp) and Windows (link/win32/TcpSocket.cpp, Winsock).
// What is built on them, the choice among a name's addresses, the purge and
// the end of the stream (link/TcpDevice.cpp), the look-up's deadline
// (link/TcpResolver.cpp), is the same on both.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "link/SerialDevice.h"
#include "link/TcpResolver.h"

class CTcpSocket {
public:
    CTcpSocket() = default;
    ~CTcpSocket();
    CTcpSocket(CTcpSocket&& other) noexcept : m_handle(other.m_handle) { other.m_handle = -1; }
    CTcpSocket& operator=(CTcpSocket&& other) noexcept {
        if (this != &other) {
            CTcpSocket dropped(m_handle);  // closes what this one held
            m_handle = other.m_handle;
            other.m_handle = -1;
        }
        return *this;
    }
    CTcpSocket(const CTcpSocket&) = delete;
    CTcpSocket& operator=(const CTcpSocket&) = delete;

    // One non-blocking connect bounded by ms, with Nagle off. On failure an
    // invalid socket and error the system's number (kTcpTimedOut when the time
    // ran out). A refusal is reported when it comes: Windows would otherwise
    // repeat a refused SYN for about 2 s, longer than the usual wait.
    static CTcpSocket Connect(const ResolvedAddress& address, std::uint32_t ms, int& error);

    bool Valid() const { return m_handle != -1; }
    // Keepalive probes: a device server that lost power sends nothing, and
    // without them a connection kept open for watching looks alive for hours.
    void KeepAlive();
    // Bytes received now: more than 0, 0 when none are waiting, -1 when the
    // peer closed or the connection failed.
    long Receive(std::uint8_t* buffer, std::size_t size);
    // Bytes the socket took now (0 when it takes none), -1 when it failed.
    long Send(const std::uint8_t* buffer, std::size_t length);
    // Bytes waiting to be read, -1 when that cannot be asked.
    long Pending();
    // Readable when bytes or the end of the stream wait, TimedOut, Failed.
    WaitResult WaitReadable(std::uint32_t ms);
    // Readable when there is room to write, TimedOut, Failed.
    WaitResult WaitWritable(std::uint32_t ms);

private:
    explicit CTcpSocket(std::intptr_t handle) : m_handle(handle) {}
    // A file descriptor, or a Winsock SOCKET (INVALID_SOCKET is -1 here too).
    std::intptr_t m_handle = -1;
};

// The system's numbers for the failures the open finds itself: a malformed
// address, a name that does not resolve, no answer in time, sockets that
// cannot be started (Winsock).
extern const int kTcpBadAddress;
extern const int kTcpUnresolved;
extern const int kTcpTimedOut;
// Starts the sockets once for the program (Winsock; nothing on Linux). False
// with error set when they cannot be started.
bool StartSockets(int& error);
// getaddrinfo's code for a name that has no address (EAI_NONAME): also what
// LookUpTcp gives for a host that is no address in digits when numericOnly.
extern const int kNoSuchName;
// The system's look-up (getaddrinfo) of host's TCP addresses at port, in its
// order, appended to out: 0, or getaddrinfo's code. numericOnly: an address
// in digits only, which needs no name server.
int LookUpTcp(const std::string& host, std::uint16_t port, bool numericOnly,
              std::vector<ResolvedAddress>& out);
// The system's words for a failed name lookup (getaddrinfo's code). On
// Windows the system's message: gai_strerror there converts through the "C"
// locale and comes out empty or cut short on a Chinese Windows.
std::string ResolveErrorText(int code);
