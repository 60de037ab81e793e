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
    // takes it exclusively; null when it is missing or held by another program.
    static std::unique_ptr<CTermiosDevice> Open(const std::string& path);
    ~CTermiosDevice() override;

    int SetLine(std::uint32_t baud) override;
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

// COMn is $K40_COMn when set, else /dev/ttyS(n-1): port index 0 is COM1.
class CTermiosPorts : public ISerialPorts {
public:
    static std::string PortPath(int port);
    std::unique_ptr<ISerialDevice> Open(int port) override;
    static CTermiosPorts& Instance();
};
