// The small device interface that the serial classes talk to. The operating
// system's serial line sits behind it (link/posix/ has the termios one), so the
// link and the exchange can be tested against a fake device and a fake clock.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "link/LineSettings.h"

// What a wait for input (or for room for output) ended with.
enum class WaitResult {
    Readable,  // input is queued, or output can be taken (or the device says so)
    TimedOut,  // nothing arrived within the time given
    Failed,    // the device is in error or hung up: waiting on it again would not block
};

// One open serial device. Destroying it releases the device.
class ISerialDevice {
public:
    virtual ~ISerialDevice() = default;

    // Applies the line state: raw 8 data bits, the rate, parity and stop bits
    // given, no flow control, DTR and RTS off. Nonzero on success; 0 for a
    // rate the device does not offer (or baud 0).
    virtual int SetLine(const LineSettings& line) = 0;
    // Discards what the driver holds: pending input, pending output, or both.
    virtual void Discard(bool input, bool output) = 0;
    // Bytes queued in the driver's input queue, or -1 when the device cannot say.
    virtual long QueuedInput() = 0;
    // Reads at most size bytes without blocking; the count read, or -1 on error.
    virtual long Read(std::uint8_t* buffer, std::size_t size) = 0;
    // Hands at most length bytes to the driver without blocking: the count taken (0 when it
    // can take none now), or -1 on error.
    virtual long WriteSome(const std::uint8_t* buffer, std::size_t length) = 0;
    // Bytes handed over but not yet sent (TIOCOUTQ), or -1 when the device cannot say.
    virtual long QueuedOutput() = 0;
    // Waits at most ms milliseconds until the device can take more output.
    virtual WaitResult WaitWritable(std::uint32_t ms) = 0;
    // Waits at most ms milliseconds for input to be queued.
    virtual WaitResult WaitReadable(std::uint32_t ms) = 0;
    // True once the device has ended for good (a connection the peer closed):
    // nothing more can arrive, so a wait for a reply may stop at once. A serial
    // line never says so: a hang-up may clear again.
    virtual bool Ended() const { return false; }
    // True for a connection to a serial device server: the wires, baud rate
    // and parity of the line behind it are the server's, out of the master's
    // reach, so advice about them would lead nowhere.
    virtual bool IsConnection() const { return false; }
    // True for a connection to a Modbus TCP device or gateway ("mbtcp://"):
    // the link frames its requests with the MBAP header (link/MbapFraming.h)
    // instead of the RTU address and CRC. The device only carries the bytes.
    virtual bool SpeaksMbap() const { return false; }
};

// Opens the devices behind the port indexes (0 = COM1, 1 = COM2, ...).
class ISerialPorts {
public:
    virtual ~ISerialPorts() = default;
    // The open device, exclusively, with pending input and output discarded;
    // null when the port is missing or in use by another program.
    // waitMs bounds what opening may take: the name lookup and connect of a
    // serial device server (a local port opens at once or not at all).
    virtual std::unique_ptr<ISerialDevice> Open(int port, std::uint32_t waitMs) = 0;
    // The device behind a port as the user knows it ("/dev/ttyS0"); empty when
    // there is none to name.
    virtual std::string PortName(int port) {
        (void)port;
        return {};
    }
    // Why the last Open failed: the system's error number (errno, or the Win32 error), 0 when it
    // did not fail or the reason is unknown. OpenErrorText() words it.
    virtual int LastOpenError() const { return 0; }
};

// The operating system's ports, COM1 = index 0: the termios devices on Linux,
// the COM ports on Windows.
ISerialPorts& SystemPorts();

// What the name a user gives opens: "COM1".."COM9" as the console's port
// buttons map them become the device each resolves to now (a device path on
// Linux; on Windows the same COMn, or $K40_COMn); any other name is returned
// as it is.
std::string ResolvePortName(const std::string& name);
// Whether two port names open the same device: on Linux the same character
// device (its number, after every symbolic link: /dev/pts/4, /dev/./pts/4 and a
// link to it are one), on Windows the same COM name (case aside, "\\.\"
// aside). Names that open nothing compare by their resolved spelling.
bool SameSerialDevice(const std::string& a, const std::string& b);

// Why a device could not be opened: the system's error number (one that fits
// where the system gave none: EINVAL for a malformed address), and the reason in words an operator
// can act on ("no such device", "connect to 10.0.0.7:4001: Connection refused").
struct OpenFailure {
    int error = 0;
    std::string reason;
};

// Opens a serial device by the name the user gives: "COM1", "COM2", ... as the
// console maps them, a device path, or "tcp://HOST:PORT" for a serial device
// server. Exclusive, pending input and output discarded. waitMs bounds the
// name lookup and connect of a TCP port together; a local device opens at
// once or not at all. On failure null, with failure filled in.
std::unique_ptr<ISerialDevice> OpenSerialDevice(const std::string& name, std::uint32_t waitMs,
                                                OpenFailure& failure);
