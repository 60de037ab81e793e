// The serial line through a serial device server in raw "TCP server" mode:
// the unit's RS-485 line ends at a box that passes the bytes through a TCP
// connection unchanged, so the RTU frames, CRC included, travel as they are
// ("RTU over TCP"); or, opened as "mbtcp://", a Modbus TCP device or gateway,
// to which the link frames its requests with the MBAP header instead. To the
// link this is one more device: the exchange's wait, reply matching and
// outcomes stay those of a serial port. The same on Linux and on Windows: only
// the socket calls differ (link/TcpSocket.h).
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

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <utility>

#include "link/SerialDevice.h"
#include "link/TcpSocket.h"

class CTcpDevice : public ISerialDevice {
public:
    // Connects to the "tcp://HOST:PORT" (or "mbtcp://HOST[:PORT]") in name,
    // name resolution and connect together within waitMs. Null with reason set
    // and error the system's number when the name is malformed, does not
    // resolve, or no address accepts the connection in time.
    static std::unique_ptr<CTcpDevice> Open(const std::string& name, std::uint32_t waitMs,
                                            std::string& reason, int& error);

    int SetLine(const LineSettings& line) override;
    void Discard(bool input, bool output) override;
    long QueuedInput() override;
    long Read(std::uint8_t* buffer, std::size_t size) override;
    WaitResult WaitReadable(std::uint32_t ms) override;

    // The write steps: as many bytes as the socket takes now (0 when it takes
    // none), -1 when the connection has failed.
    long WriteSome(const std::uint8_t* buffer, std::size_t length) override;
    // Bytes handed over but not yet sent: always 0 (-1 once the connection has
    // failed). What the socket took is on its way; counting the bytes the peer
    // has not yet acknowledged would add a network round trip, and the peer's
    // delayed acknowledgement, to every write without saying anything about
    // the far serial line.
    long QueuedOutput() override;
    // Waits at most ms for room in the socket's send buffer: Readable when
    // there is room (the write may go on), TimedOut, or Failed.
    WaitResult WaitWritable(std::uint32_t ms) override;

    // True once the peer has closed or reset the connection: nothing more
    // will arrive on it.
    bool Ended() const override { return m_bEnded; }
    bool IsConnection() const override { return true; }
    // Opened as "mbtcp://": the link frames its requests for Modbus TCP.
    bool SpeaksMbap() const override { return m_bMbap; }

private:
    CTcpDevice(CTcpSocket socket, bool mbap) : m_socket(std::move(socket)), m_bMbap(mbap) {}
    CTcpSocket m_socket;
    bool m_bEnded = false;
    bool m_bMbap = false;
};

// The part of what is left of the wait that the next of untried addresses
// gets: an equal share, the last one all of it. An address that never answers
// (IPv6 on a network without it, a host that is down) then leaves time for
// the others; one that refuses at once hands its share on.
std::uint32_t ConnectShare(std::uint32_t leftMs, std::size_t untried);
