// The serial line through a serial device server in raw "TCP server" mode:
// the unit's RS-485 line ends at a box that passes the bytes through a TCP
// connection unchanged, so the RTU frames, CRC included, travel as they are
// ("RTU over TCP"). To the link this is one more device: the exchange's wait,
// reply matching and outcomes stay those of a serial port.
//
// Where a serial line and a connection differ:
//   - baud and line settings belong to the device server: accepted, no effect;
//   - a write is complete once the socket has taken the bytes (the reply wait
//     starts then); there is no way to drain to the far line;
//   - a purge of the input reads and discards what has arrived; output handed
//     to the socket cannot be taken back;
//   - the peer closing or resetting the connection is a failed device: waits
//     report it at once and reads return -1 from then on. The next open
//     connects again.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "link/SerialDevice.h"
#include "link/posix/TermiosDevice.h"

class CTcpDevice : public ISerialDevice {
public:
    // Connects to the "tcp://HOST:PORT" in name, name resolution and connect
    // together within waitMs. Null with reason set (and errno, where the system
    // gave one) when the name is malformed, does not resolve, or no address
    // accepts the connection in time.
    static std::unique_ptr<CTcpDevice> Open(const std::string& name, std::uint32_t waitMs,
                                            std::string& reason);

    int SetLine(std::uint32_t baud) override;
    void Discard(bool input, bool output) override;
    long QueuedInput() override;
    long Read(std::uint8_t* buffer, std::size_t size) override;
    WaitResult WaitReadable(std::uint32_t ms) override;

    // The write steps: as many bytes as the socket takes now (0 when it takes
    // none), -1 when the connection has failed.
    long WriteSome(const std::uint8_t* buffer, std::size_t length) override;
    // Bytes handed over but not yet sent: always 0 (-1 once the connection has
    // failed). What send() took is on its way; counting the bytes the peer has
    // not yet acknowledged (SIOCOUTQ) would add a network round trip, and the
    // peer's delayed acknowledgement, to every write without saying anything
    // about the far serial line.
    long QueuedOutput() override;
    // Waits at most ms for room in the socket's send buffer: Readable when
    // there is room (the write may go on), TimedOut, or Failed.
    WaitResult WaitWritable(std::uint32_t ms) override;

    int Fd() const { return m_fd.Get(); }
    // True once the peer has closed or reset the connection: nothing more
    // will arrive on it.
    bool Ended() const override { return m_bEnded; }
    bool IsConnection() const override { return true; }

private:
    explicit CTcpDevice(int fd) : m_fd(fd) {}
    CFileDescriptor m_fd;
    bool m_bEnded = false;
};
