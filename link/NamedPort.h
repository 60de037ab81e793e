// A port set with one port, 0, that is the device a name gives ("COM2",
// "/dev/ttyUSB0"): how a program that is told the device by name, not by a
// port button, opens it through CSerialComm. It keeps why the last open failed.
#pragma once

#include <string>
#include <utility>

#include "link/SerialDevice.h"

class CNamedPort : public ISerialPorts {
public:
    explicit CNamedPort(std::string name) : m_name(std::move(name)) {}

    std::unique_ptr<ISerialDevice> Open(int port) override;
    std::string PortName(int port) override;
    int LastOpenError() const override { return m_nError; }

private:
    std::string m_name;
    int m_nError = 0;
};
