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
    explicit CNamedPort(std::string name) : m_name(std::move(name)) {}

    std::unique_ptr<ISerialDevice> Open(int port, std::uint32_t waitMs) override;
    std::string PortName(int port) override;
    int LastOpenError() const override { return m_failure.error; }
    // The name as given: "COM2", "/dev/ttyUSB0", "tcp://10.0.0.7:4001".
    const std::string& Name() const { return m_name; }
    // Why the last open failed, in words ("no such device", "connect to
    // 10.0.0.7:4001: Connection refused"); empty after a success.
    const std::string& LastOpenReason() const { return m_failure.reason; }

private:
    std::string m_name;
    OpenFailure m_failure;
};
