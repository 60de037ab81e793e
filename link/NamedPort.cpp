#include "link/NamedPort.h"

#include <cerrno>

std::unique_ptr<ISerialDevice> CNamedPort::Open(int port) {
    m_nError = 0;
    if (port != 0) {
        m_nError = ENODEV;
        return nullptr;
    }
    return OpenSerialDevice(m_name, &m_nError);
}

std::string CNamedPort::PortName(int port) {
    return port == 0 ? m_name : std::string();
}
