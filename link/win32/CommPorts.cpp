#include "link/win32/CommPorts.h"

#include <cstdlib>

#include "link/OpenError.h"
#include "link/PortDiscovery.h"
#include "link/PortOrder.h"
#include "link/TcpAddress.h"
#include "link/win32/CommDevice.h"
#include "link/win32/TcpDevice.h"

namespace {

// $K40_COMn, or empty.
std::string Override(int number) {
    const char* value = std::getenv(("K40_COM" + std::to_string(number)).c_str());
    return value != nullptr ? value : "";
}

std::vector<std::string> PresentNames() {
    std::vector<std::string> names;
    for (const SerialPortInfo& p : DiscoverSerialPorts({}, {})) {
        names.push_back(p.path);
    }
    return names;
}

// "COMn" or "tcp://HOST:PORT".
std::unique_ptr<ISerialDevice> OpenResolved(const std::string& name, std::uint32_t waitMs,
                                            OpenFailure& failure) {
    failure = OpenFailure{};
    if (IsTcpPortName(name)) {
        auto device = CTcpDevice::Open(name, waitMs, failure.reason, &failure.error);
        return device;
    }
    auto device = CCommDevice::Open(name, &failure.error);
    if (!device) {
        failure.reason = OpenErrorText(failure.error);
    }
    return device;
}

}  // namespace

std::string CCommPorts::PortPath(int port) const {
    if (port < 0) {
        return {};
    }
    const std::string chosen = Override(port + 1);
    return ResolveComIndex(port, chosen.empty() ? PresentNames() : std::vector<std::string>{},
                           chosen);
}

std::string CCommPorts::PortName(int port) {
    const std::string name = PortPath(port);
    const std::vector<SerialPortInfo> ports = DiscoverSerialPorts({}, {});
    const SerialPortInfo* found = FindSerialPort(ports, name);
    return found != nullptr ? DescribeSerialPort(*found) : name;
}

std::unique_ptr<ISerialDevice> CCommPorts::Open(int port, std::uint32_t waitMs) {
    OpenFailure failure;
    auto device = OpenResolved(PortPath(port), waitMs, failure);
    m_nError = failure.error;
    return device;
}

CCommPorts& CCommPorts::Instance() {
    static CCommPorts ports;
    return ports;
}

ISerialPorts& SystemPorts() {
    return CCommPorts::Instance();
}

std::string ResolvePortName(const std::string& name) {
    // On Windows COMn names the system's own port: --port COM3 opens COM3,
    // unless $K40_COM3 says otherwise.
    const int n = ComPortNumber(name);
    if (n > 0) {
        const std::string chosen = Override(n);
        return chosen.empty() ? name : chosen;
    }
    return name;
}

std::unique_ptr<ISerialDevice> OpenSerialDevice(const std::string& name, std::uint32_t waitMs,
                                                OpenFailure& failure) {
    return OpenResolved(ResolvePortName(name), waitMs, failure);
}
