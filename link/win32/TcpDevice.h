// The serial line through a serial device server, on Winsock: the same rules
// as the Linux device (link/posix/TcpDevice.h): line settings belong to the
// server, a write is done once the socket took the bytes, a purge reads and
// drops what arrived, and the peer's close is a failed device.
#pragma once

#include <winsock2.h>

#include <cstdint>
#include <memory>
#include <string>

#include "link/SerialDevice.h"

class CTcpDevice : public ISerialDevice {
public:
    // Connects to the "tcp://HOST:PORT" in name, lookup and connect together
    // within waitMs. Null with reason set and *error the Winsock error (or
    // ERROR_BAD_NETPATH for a malformed address) on failure.
    static std::unique_ptr<CTcpDevice> Open(const std::string& name, std::uint32_t waitMs,
                                            std::string& reason, int* error);
    ~CTcpDevice() override;
    CTcpDevice(const CTcpDevice&) = delete;
    CTcpDevice& operator=(const CTcpDevice&) = delete;

    int SetLine(std::uint32_t baud) override;
    void Discard(bool input, bool output) override;
    long QueuedInput() override;
    long Read(std::uint8_t* buffer, std::size_t size) override;
    WaitResult WaitReadable(std::uint32_t ms) override;
    long WriteSome(const std::uint8_t* buffer, std::size_t length) override;
    // Always 0 (-1 once failed): what send() took is on its way.
    long QueuedOutput() override;
    WaitResult WaitWritable(std::uint32_t ms) override;
    bool Ended() const override { return m_bEnded; }
    bool IsConnection() const override { return true; }
    // Opened as "mbtcp://": the link frames its requests for Modbus TCP.
    bool SpeaksMbap() const override { return m_bMbap; }

private:
    explicit CTcpDevice(SOCKET s) : m_socket(s) {}
    SOCKET m_socket;
    bool m_bEnded = false;
    bool m_bMbap = false;
};

// Starts Winsock once for the program; false when it cannot be started.
bool StartWinsock();
