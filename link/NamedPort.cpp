#include "link/NamedPort.h"

#include <cerrno>

#include "link/OpenError.h"

std::unique_ptr<ISerialDevice> CNamedPort::Open(int port) {
    if (port != 0) {
        m_failure = OpenFailure{ENODEV, OpenErrorText(ENODEV)};
        return nullptr;
    }
    return OpenSerialDevice(m_name, m_nWaitMs, m_failure);
}

std::string CNamedPort::PortName(int port) {
    return port == 0 ? m_name : std::string();
}
