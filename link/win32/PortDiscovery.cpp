#include "link/PortDiscovery.h"

#include <windows.h>
// initguid.h first: devguid.h then defines the class GUIDs, not only declares them.
#include <initguid.h>

#include <devguid.h>
#include <setupapi.h>

#include <algorithm>
#include <cstdlib>

#include "base/win32/Wide.h"
#include "link/PortOrder.h"

namespace {

// HKLM\HARDWARE\DEVICEMAP\SERIALCOMM: value name the kernel's device, data "COMn".
std::vector<SerialPortInfo> RegistryPorts() {
    std::vector<SerialPortInfo> ports;
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"HARDWARE\\DEVICEMAP\\SERIALCOMM", 0, KEY_READ, &key) !=
        ERROR_SUCCESS) {
        return ports;
    }
    for (DWORD i = 0;; ++i) {
        wchar_t name[256];
        wchar_t data[64] = {};
        DWORD nameLength = 256;
        DWORD dataBytes = sizeof data - sizeof(wchar_t);
        DWORD type = 0;
        const LONG rc = RegEnumValueW(key, i, name, &nameLength, nullptr, &type,
                                      reinterpret_cast<BYTE*>(data), &dataBytes);
        if (rc == ERROR_NO_MORE_ITEMS) {
            break;
        }
        SerialPortInfo info;
        info.path = rc == ERROR_SUCCESS && type == REG_SZ ? Utf8(data) : std::string();
        if (ComPortNumber(info.path) > 0) {
            ports.push_back(info);
        }
    }
    RegCloseKey(key);
    return ports;
}

std::string DeviceProperty(HDEVINFO set, SP_DEVINFO_DATA& device, DWORD property) {
    wchar_t buffer[512] = {};
    DWORD type = 0;
    if (!SetupDiGetDeviceRegistryPropertyW(set, &device, property, &type,
                                           reinterpret_cast<BYTE*>(buffer),
                                           sizeof buffer - sizeof(wchar_t), nullptr) ||
        type != REG_SZ) {
        return {};
    }
    return Utf8(buffer);
}

// "USB\VID_1A86&PID_7523\5&2C3A&0&2" or "FTDIBUS\VID_0403+PID_6001+A10K3XYZA\0000":
// vendor, product, and the serial number where the adapter has one (Windows
// makes up an instance name with '&' otherwise).
void ParseInstance(const std::string& id, SerialPortInfo& info) {
    const auto vid = id.find("VID_");
    const auto pid = id.find("PID_");
    if (vid == std::string::npos || pid == std::string::npos) {
        return;
    }
    info.vendorId = id.substr(vid + 4, 4);
    info.productId = id.substr(pid + 4, 4);
    if (id.compare(0, 4, "USB\\") == 0) {
        const auto last = id.rfind('\\');
        if (id.find('&', last) == std::string::npos) {
            info.serial = id.substr(last + 1);
        }
    } else if (const auto plus = id.find('+', pid); plus != std::string::npos) {
        info.serial = id.substr(plus + 1, id.find('\\', plus) - plus - 1);
    }
}

std::string PortNameOf(HDEVINFO set, SP_DEVINFO_DATA& device) {
    HKEY key = SetupDiOpenDevRegKey(set, &device, DICS_FLAG_GLOBAL, 0, DIREG_DEV, KEY_READ);
    if (key == INVALID_HANDLE_VALUE) {
        return {};
    }
    wchar_t data[64] = {};
    DWORD bytes = sizeof data - sizeof(wchar_t);
    DWORD type = 0;
    const bool ok = RegQueryValueExW(key, L"PortName", nullptr, &type,
                                     reinterpret_cast<BYTE*>(data), &bytes) == ERROR_SUCCESS &&
                    type == REG_SZ;
    RegCloseKey(key);
    return ok ? Utf8(data) : std::string();
}

// Adds what SetupAPI knows of each port in the Ports class.
void AddDetails(std::vector<SerialPortInfo>& ports, std::vector<PresentPort>& order) {
    HDEVINFO set = SetupDiGetClassDevsW(&GUID_DEVCLASS_PORTS, nullptr, nullptr, DIGCF_PRESENT);
    if (set == INVALID_HANDLE_VALUE) {
        return;
    }
    SP_DEVINFO_DATA device{};
    device.cbSize = sizeof device;
    for (DWORD i = 0; SetupDiEnumDeviceInfo(set, i, &device); ++i) {
        const std::string name = PortNameOf(set, device);
        const auto it = std::find_if(ports.begin(), ports.end(),
                                     [&](const SerialPortInfo& p) { return p.path == name; });
        if (name.empty() || it == ports.end()) {
            continue;
        }
        it->product = DeviceProperty(set, device, SPDRP_FRIENDLYNAME);
        it->manufacturer = DeviceProperty(set, device, SPDRP_MFG);
        it->driver = DeviceProperty(set, device, SPDRP_SERVICE);
        wchar_t instance[512] = {};
        if (SetupDiGetDeviceInstanceIdW(set, &device, instance, 511, nullptr)) {
            const std::string id = Utf8(instance);
            it->deviceKey = "SYSTEM\\CurrentControlSet\\Enum\\" + id;
            ParseInstance(id, *it);
            order[static_cast<std::size_t>(it - ports.begin())].usb = !it->vendorId.empty();
        }
    }
    SetupDiDestroyDeviceInfoList(set);
}

}  // namespace

std::vector<SerialPortInfo> DiscoverSerialPorts(const std::string& /*devDir*/,
                                                const std::string& /*sysDir*/) {
    std::vector<SerialPortInfo> ports = RegistryPorts();
    std::vector<PresentPort> order;
    for (const SerialPortInfo& p : ports) {
        order.push_back({p.path, false});
    }
    AddDetails(ports, order);
    std::vector<SerialPortInfo> sorted;
    for (const std::string& name : OrderComPorts(order)) {
        sorted.push_back(*FindSerialPort(ports, name));
    }
    return sorted;
}

std::string ResolveComPort(int port, const std::vector<SerialPortInfo>& ports,
                           const std::string& /*devDir*/) {
    std::vector<PresentPort> present;
    for (const SerialPortInfo& p : ports) {
        present.push_back({p.path, !p.vendorId.empty()});
    }
    return ResolveComIndex(port, present, ComPortVariable(port));
}

const SerialPortInfo* FindSerialPort(const std::vector<SerialPortInfo>& ports,
                                     const std::string& path) {
    const int n = ComPortNumber(path.compare(0, 4, "\\\\.\\") == 0 ? path.substr(4) : path);
    for (const SerialPortInfo& p : ports) {
        if (n > 0 && ComPortNumber(p.path) == n) {
            return &p;
        }
    }
    return nullptr;
}

std::string ResolveComPort(int port, const std::string& devDir, const std::string& sysDir) {
    return ResolveComPort(port,
                          ComPortVariable(port).empty() ? DiscoverSerialPorts(devDir, sysDir)
                                                        : std::vector<SerialPortInfo>{},
                          devDir);
}

std::string DescribeSerialPort(const SerialPortInfo& info) {
    std::string text = info.path;
    std::string sep = ": ";
    for (const std::string& part :
         {info.product,
          info.vendorId.empty() ? std::string() : "USB " + info.vendorId + ":" + info.productId,
          info.serial.empty() ? std::string() : "serial " + info.serial}) {
        if (!part.empty()) {
            text += sep + part;
            sep = ", ";
        }
    }
    return text;
}

std::string DescribeComPort(int port, const std::string& devDir, const std::string& sysDir) {
    const std::string name = ResolveComPort(port, devDir, sysDir);
    const std::vector<SerialPortInfo> ports = DiscoverSerialPorts(devDir, sysDir);
    const SerialPortInfo* found = FindSerialPort(ports, name);
    return found != nullptr ? DescribeSerialPort(*found) : name;
}

void SetPortFolders(const std::string& /*devDir*/, const std::string& /*sysDir*/) {}
