#include "link/NamedPort.h"

#include "link/OpenError.h"

std::unique_ptr<ISerialDevice> CNamedPort::Open(int port, std::uint32_t waitMs) {
    if (port != 0) {
        m_failure = OpenFailure{kNoSuchDeviceError, OpenErrorText(kNoSuchDeviceError)};
        return nullptr;
    }
    return OpenSerialDevice(m_name, waitMs, m_failure);
}

std::string CNamedPort::PortName(int port) {
    return port == 0 ? m_name : std::string();
}
