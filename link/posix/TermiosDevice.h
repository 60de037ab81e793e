// The serial device on Linux: a tty opened non-blocking and exclusively,
// driven through termios. The only place that calls the operating system for
// the serial line.
#pragma once

#include <string>

#include "link/SerialDevice.h"

// Owns one file descriptor; closing it is never retried.
class CFileDescriptor {
public:
    explicit CFileDescriptor(int fd = -1) : m_fd(fd) {}
    CFileDescriptor(const CFileDescriptor&) = delete;
    CFileDescriptor& operator=(const CFileDescriptor&) = delete;
    ~CFileDescriptor();
    int Get() const { return m_fd; }
    int Release();

private:
    int m_fd;
};

class CTermiosDevice : public ISerialDevice {
public:
    // Opens path read-write, without becoming its controlling terminal, and
    // takes it exclusively; null when it is missing or held by another program,
    // with *error (when given) the system's error number.
    static std::unique_ptr<CTermiosDevice> Open(const std::string& path, int* error = nullptr);
    ~CTermiosDevice() override;

    int SetLine(const LineSettings& line) override;
    void Discard(bool input, bool output) override;
    long QueuedInput() override;
    long Read(std::uint8_t* buffer, std::size_t size) override;
    long WriteSome(const std::uint8_t* buffer, std::size_t length) override;
    long QueuedOutput() override;
    WaitResult WaitWritable(std::uint32_t ms) override;
    WaitResult WaitReadable(std::uint32_t ms) override;

    int Fd() const { return m_fd.Get(); }

private:
    explicit CTermiosDevice(int fd) : m_fd(fd) {}
    CFileDescriptor m_fd;
};

// COMn is $K40_COMn when set, else the n-th serial port present (USB adapters
// first), else <dev>/ttyS(n-1): port index 0 is COM1. Resolved at every open,
// so an adapter plugged in after the program started is found.
// A name "tcp://HOST:PORT" opens a connection to a serial device server instead
// (ResolvePortName and OpenSerialDevice in link/SerialDevice.h).

class CTermiosPorts : public ISerialPorts {
public:
    explicit CTermiosPorts(std::string devDir = "/dev", std::string sysDir = "/sys");
    // The device that port resolves to right now; empty for a negative index.
    std::string PortPath(int port) const;
    // The same with what sysfs tells of it, for the port buttons' tooltips.
    std::string PortDescription(int port) const;
    std::unique_ptr<ISerialDevice> Open(int port, std::uint32_t waitMs) override;
    // Looks for ports in other folders: tests point the program's own ports
    // at trees of their own instead of the machine's.
    void SetFolders(std::string devDir, std::string sysDir);
    std::string PortName(int port) override { return PortDescription(port); }
    int LastOpenError() const override { return m_nError; }
    // The program's ports, on /dev and /sys.
    static CTermiosPorts& Instance();

private:
    std::string m_devDir;
    std::string m_sysDir;
    int m_nError = 0;
};
