#include "link/win32/CommPorts.h"

#include <cstdlib>

#include "link/OpenError.h"
#include "link/PortDiscovery.h"
#include "link/PortOrder.h"
#include "link/TcpAddress.h"
#include "link/TcpDevice.h"
#include "link/win32/CommDevice.h"

namespace {

// $K40_COMn, or empty.
// "COMn" or "tcp://HOST:PORT".
std::unique_ptr<ISerialDevice> OpenResolved(const std::string& name, std::uint32_t waitMs,
                                            OpenFailure& failure) {
    failure = OpenFailure{};
    if (IsTcpPortName(name)) {
        return CTcpDevice::Open(name, waitMs, failure.reason, failure.error);
    }
    auto device = CCommDevice::Open(name, &failure.error);
    if (!device) {
        failure.reason = OpenErrorText(failure.error);
    }
    return device;
}

}  // namespace

std::string CCommPorts::PortPath(int port) const {
    return ResolveComPort(port, std::string(), std::string());
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
        const std::string chosen = ComPortVariable(n - 1);
        return chosen.empty() ? name : chosen;
    }
    return name;
}

bool SameSerialDevice(const std::string& a, const std::string& b) {
    const auto key = [](const std::string& name) {
        std::string text = ResolvePortName(name);
        if (text.rfind("\\\\.\\", 0) == 0) {
            text.erase(0, 4);
        }
        for (char& c : text) {
            c = static_cast<char>(c >= 'a' && c <= 'z' ? c - 32 : c);
        }
        return text;
    };
    return key(a) == key(b);
}

std::unique_ptr<ISerialDevice> OpenSerialDevice(const std::string& name, std::uint32_t waitMs,
                                                OpenFailure& failure) {
    return OpenResolved(ResolvePortName(name), waitMs, failure);
}
