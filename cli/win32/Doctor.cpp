// "k40ctl doctor" on Windows: the port is one Windows lists, no other program
// holds it (Windows refuses a second open with ERROR_ACCESS_DENIED), its
// driver, the FTDI latency timer; then the read all platforms share.
#include <windows.h>

#include "cli/DoctorReport.h"
#include "link/OpenError.h"
#include "link/PortDiscovery.h"
#include "link/win32/CommDevice.h"

namespace {

// The FTDI driver's latency timer (ms) from the device's registry key, 0
// when the port has none.
DWORD FtdiLatencyTimer(const SerialPortInfo& info) {
    if (info.deviceKey.empty()) {
        return 0;
    }
    const std::string key = info.deviceKey + "\\Device Parameters";
    DWORD value = 0;
    DWORD bytes = sizeof value;
    if (RegGetValueA(HKEY_LOCAL_MACHINE, key.c_str(), "LatencyTimer", RRF_RT_REG_DWORD, nullptr,
                     &value, &bytes) != ERROR_SUCCESS) {
        return 0;
    }
    return value;
}

}  // namespace

void SerialChecks(const std::string& name, Report& report) {
    const std::string port = ResolvePortName(name);
    const std::vector<SerialPortInfo> ports = DiscoverSerialPorts({}, {});
    const SerialPortInfo* info = FindSerialPort(ports, port);
    int error = 0;
    const auto device = CCommDevice::Open(port, &error);
    if (!device && error == ERROR_FILE_NOT_FOUND) {
        report.Fail(name + " does not exist",
                    "plug the adapter in and install its driver (CH340, CP210x, FTDI), or name a "
                    "port that k40ctl ports or the Device Manager (Ports (COM & LPT)) lists.");
        return;
    }
    report.Pass("port exists: " + (info != nullptr ? DescribeSerialPort(*info) : port));
    if (!device && (error == ERROR_ACCESS_DENIED || error == ERROR_SHARING_VIOLATION)) {
        report.Fail("another program holds it",
                    "close that program (a terminal program, another k40ctl or k40tool) and try "
                    "again.");
    } else if (!device) {
        report.Fail("it cannot be opened: " + OpenErrorText(error),
                    "reinstall the adapter's driver or plug it into another USB socket.");
    } else {
        report.Pass("nobody else holds it");
    }
    if (info == nullptr || info->driver.empty()) {
        report.Skip("driver: Windows does not name it");
    } else {
        report.Pass("driver: " + info->driver +
                    (info->manufacturer.empty() ? "" : " (" + info->manufacturer + ")"));
    }
    const DWORD timer = info != nullptr ? FtdiLatencyTimer(*info) : 0;
    if (timer > 1) {
        report.Warn("the FTDI latency timer is " + std::to_string(timer) +
                        " ms: up to that much is added to every reply",
                    "set it to 1 ms: Device Manager, the port's Properties, Port Settings, "
                    "Advanced, Latency Timer.");
    }
}
