// A port set with one port, 0, that is the device a name gives ("COM2",
// "/dev/ttyUSB0", "tcp://10.0.0.7:4001"): how a program that is told the
// device by name, not by a port button, opens it through CSerialComm. It
// keeps why the last open failed.
#pragma once

#include <cstdint>
#include <string>
#include <utility>

#include "link/SerialDevice.h"

class CNamedPort : public ISerialPorts {
public:
    // waitMs bounds the lookup and connect of a TCP port: the caller's reply
    // wait, so that an unreachable device server costs no more than a silent unit.
    explicit CNamedPort(std::string name, std::uint32_t waitMs = 1500)
        : m_name(std::move(name)), m_nWaitMs(waitMs) {}

    std::unique_ptr<ISerialDevice> Open(int port) override;
    std::string PortName(int port) override;
    int LastOpenError() const override { return m_failure.error; }
    // Why the last open failed, in words ("no such device", "connect to
    // 10.0.0.7:4001: Connection refused"); empty after a success.
    const std::string& LastOpenReason() const { return m_failure.reason; }

private:
    std::string m_name;
    std::uint32_t m_nWaitMs;
    OpenFailure m_failure;
};
