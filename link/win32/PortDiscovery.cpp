#include "link/win32/PortDiscovery.h"

#include <windows.h>
#include <initguid.h>
#include <devguid.h>
#include <setupapi.h>

#include <algorithm>
#include <map>

#include "link/PortOrder.h"

namespace {

std::string Narrow(const wchar_t* text, int length = -1) {
    const int size = WideCharToMultiByte(CP_UTF8, 0, text, length, nullptr, 0, nullptr, nullptr);
    if (size <= 0) {
        return {};
    }
    std::string out(static_cast<std::size_t>(size), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text, length, out.data(), size, nullptr, nullptr);
    if (length < 0 && !out.empty() && out.back() == '\0') {
        out.pop_back();
    }
    return out;
}

// HKLM\HARDWARE\DEVICEMAP\SERIALCOMM: value name the device, data "COMn".
std::vector<ComPortInfo> RegistryPorts() {
    std::vector<ComPortInfo> ports;
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"HARDWARE\\DEVICEMAP\\SERIALCOMM", 0, KEY_READ, &key) !=
        ERROR_SUCCESS) {
        return ports;
    }
    for (DWORD i = 0;; ++i) {
        wchar_t name[256];
        wchar_t data[64];
        DWORD nameLength = 256;
        DWORD dataBytes = sizeof data;
        DWORD type = 0;
        const LONG rc = RegEnumValueW(key, i, name, &nameLength, nullptr, &type,
                                      reinterpret_cast<BYTE*>(data), &dataBytes);
        if (rc == ERROR_NO_MORE_ITEMS) {
            break;
        }
        if (rc != ERROR_SUCCESS || type != REG_SZ) {
            continue;
        }
        data[std::min<DWORD>(dataBytes / sizeof(wchar_t), 63)] = L'\0';
        ComPortInfo info;
        info.name = Narrow(data);
        info.device = Narrow(name);
        if (ComNumber(info.name) > 0) {
            ports.push_back(info);
        }
    }
    RegCloseKey(key);
    return ports;
}

std::string DeviceProperty(HDEVINFO set, SP_DEVINFO_DATA& device, DWORD property) {
    wchar_t buffer[512];
    DWORD type = 0;
    if (!SetupDiGetDeviceRegistryPropertyW(set, &device, property, &type,
                                           reinterpret_cast<BYTE*>(buffer), sizeof buffer - 2,
                                           nullptr) ||
        (type != REG_SZ && type != REG_MULTI_SZ)) {
        return {};
    }
    buffer[511] = L'\0';
    return Narrow(buffer);
}

// "USB\VID_1A86&PID_7523\5&2C3A&0&2": vendor, product and, for an adapter
// with a serial number, the last part (Windows makes one up otherwise: it has '&').
void ParseUsbInstance(const std::string& id, ComPortInfo& info) {
    if (id.compare(0, 4, "USB\\") != 0 && id.compare(0, 7, "FTDIBUS") != 0) {
        return;
    }
    info.usb = true;
    const auto vid = id.find("VID_");
    const auto pid = id.find("PID_");
    if (vid != std::string::npos) {
        info.vendorId = id.substr(vid + 4, 4);
    }
    if (pid != std::string::npos) {
        info.productId = id.substr(pid + 4, 4);
    }
    const auto last = id.rfind('\\');
    if (last != std::string::npos && id.find('&', last) == std::string::npos) {
        info.serial = id.substr(last + 1);
    }
}

// The port name of a device in the Ports class: its device key's "PortName".
std::string PortNameOf(HDEVINFO set, SP_DEVINFO_DATA& device) {
    HKEY key = SetupDiOpenDevRegKey(set, &device, DICS_FLAG_GLOBAL, 0, DIREG_DEV, KEY_READ);
    if (key == INVALID_HANDLE_VALUE) {
        return {};
    }
    wchar_t data[64];
    DWORD bytes = sizeof data - 2;
    DWORD type = 0;
    std::string name;
    if (RegQueryValueExW(key, L"PortName", nullptr, &type, reinterpret_cast<BYTE*>(data),
                         &bytes) == ERROR_SUCCESS &&
        type == REG_SZ) {
        data[bytes / sizeof(wchar_t)] = L'\0';
        name = Narrow(data);
    }
    RegCloseKey(key);
    return name;
}

// Adds what SetupAPI knows of each port in the Ports class.
void AddDetails(std::vector<ComPortInfo>& ports) {
    HDEVINFO set = SetupDiGetClassDevsW(&GUID_DEVCLASS_PORTS, nullptr, nullptr, DIGCF_PRESENT);
    if (set == INVALID_HANDLE_VALUE) {
        return;
    }
    SP_DEVINFO_DATA device{};
    device.cbSize = sizeof device;
    for (DWORD i = 0; SetupDiEnumDeviceInfo(set, i, &device); ++i) {
        const std::string name = PortNameOf(set, device);
        auto it = std::find_if(ports.begin(), ports.end(),
                               [&](const ComPortInfo& p) { return p.name == name; });
        if (name.empty() || it == ports.end()) {
            continue;
        }
        it->friendlyName = DeviceProperty(set, device, SPDRP_FRIENDLYNAME);
        it->manufacturer = DeviceProperty(set, device, SPDRP_MFG);
        it->driver = DeviceProperty(set, device, SPDRP_SERVICE);
        wchar_t instance[512];
        if (SetupDiGetDeviceInstanceIdW(set, &device, instance, 512, nullptr)) {
            const std::string id = Narrow(instance);
            it->hardwareKey = "SYSTEM\\CurrentControlSet\\Enum\\" + id;
            ParseUsbInstance(id, *it);
        }
    }
    SetupDiDestroyDeviceInfoList(set);
}

}  // namespace

std::vector<ComPortInfo> DiscoverComPorts() {
    std::vector<ComPortInfo> ports = RegistryPorts();
    AddDetails(ports);
    std::vector<PresentPort> present;
    for (const ComPortInfo& p : ports) {
        present.push_back({p.name, p.usb});
    }
    std::vector<ComPortInfo> ordered;
    for (const std::string& name : OrderComPorts(present)) {
        ordered.push_back(*std::find_if(ports.begin(), ports.end(),
                                        [&](const ComPortInfo& p) { return p.name == name; }));
    }
    return ordered;
}

std::string DescribeComPortInfo(const ComPortInfo& info) {
    std::string text = info.name;
    std::string sep = ": ";
    if (!info.friendlyName.empty()) {
        text += sep + info.friendlyName;
        sep = ", ";
    }
    if (!info.vendorId.empty()) {
        text += sep + "USB " + info.vendorId + ":" + info.productId;
        sep = ", ";
    }
    if (!info.serial.empty()) {
        text += sep + "serial " + info.serial;
    }
    return text;
}
