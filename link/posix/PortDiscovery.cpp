#include "link/PortDiscovery.h"
#include "link/PortOrder.h"

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <system_error>
#include <utility>

namespace fs = std::filesystem;

namespace {

// The kinds of serial node in COMn order: USB serial converters (ftdi_sio,
// cp210x, ch341, pl2303, ...), then CDC-ACM devices, then on-board UARTs.
constexpr const char* kUsbPrefix = "ttyUSB";
constexpr const char* kAcmPrefix = "ttyACM";
constexpr const char* kUartPrefix = "ttyS";

// The number after prefix when name is prefix followed by digits only.
bool NodeNumber(const std::string& name, const std::string& prefix, unsigned long& number) {
    if (name.size() <= prefix.size() || name.compare(0, prefix.size(), prefix) != 0) {
        return false;
    }
    const std::string digits = name.substr(prefix.size());
    if (digits.size() > 9 ||
        !std::all_of(digits.begin(), digits.end(), [](char c) { return c >= '0' && c <= '9'; })) {
        return false;
    }
    number = std::stoul(digits);
    return true;
}

// The node names in dev with this prefix, by number.
std::vector<std::string> NodesByNumber(const std::vector<std::string>& names,
                                       const std::string& prefix) {
    std::vector<std::pair<unsigned long, std::string>> found;
    for (const std::string& name : names) {
        unsigned long n = 0;
        if (NodeNumber(name, prefix, n)) {
            found.emplace_back(n, name);
        }
    }
    std::sort(found.begin(), found.end());
    std::vector<std::string> sorted;
    for (auto& entry : found) {
        sorted.push_back(std::move(entry.second));
    }
    return sorted;
}

std::vector<std::string> EntryNames(const fs::path& dir) {
    std::vector<std::string> names;
    std::error_code ec;
    for (fs::directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec)) {
        names.push_back(it->path().filename().string());
    }
    return names;
}

// A sysfs attribute: its first line without trailing blanks; empty when missing.
std::string Attribute(const fs::path& file) {
    std::ifstream in(file);
    std::string line;
    if (!in || !std::getline(in, line)) {
        return {};
    }
    while (!line.empty() && (line.back() == ' ' || line.back() == '\r' || line.back() == '\t')) {
        line.pop_back();
    }
    return line;
}

// A UART that the kernel found no hardware for has type 0 (PORT_UNKNOWN).
bool UartPresent(const fs::path& sysDir, const std::string& name) {
    const std::string type = Attribute(sysDir / "class" / "tty" / name / "type");
    return !type.empty() && type != "0";
}

// Both paths lead to the same file (after the links on the way).
bool SameNode(const fs::path& a, const fs::path& b) {
    if (a.lexically_normal() == b.lexically_normal()) {
        return true;
    }
    std::error_code ea;
    std::error_code eb;
    const fs::path ca = fs::canonical(a, ea);
    const fs::path cb = fs::canonical(b, eb);
    return !ea && !eb && ca == cb;
}

// The udev link in <dev>/serial/by-id that points at node; empty when none.
std::string ByIdName(const fs::path& devDir, const fs::path& node) {
    const fs::path byIdDir = devDir / "serial" / "by-id";
    std::vector<std::string> names = EntryNames(byIdDir);
    std::sort(names.begin(), names.end());
    for (const std::string& name : names) {
        std::error_code ec;
        const fs::path target = fs::read_symlink(byIdDir / name, ec);
        if (ec) {
            continue;
        }
        const fs::path resolved = target.is_absolute() ? target : byIdDir / target;
        if (SameNode(resolved, node)) {
            return (byIdDir / name).string();
        }
    }
    return {};
}

// The USB details of tty name: from its device in sysfs up to the USB device
// (the first parent with idVendor). In a real tree class/tty/ttyUSB0/device
// is the usb-serial port under the interface under the USB device; for
// ttyACM0 it is the interface itself.
void ReadSysfs(const fs::path& sysDir, const std::string& name, SerialPortInfo& info) {
    const fs::path device = sysDir / "class" / "tty" / name / "device";
    std::error_code ec;
    const fs::path driver = fs::read_symlink(device / "driver", ec);
    if (!ec) {
        info.driver = driver.filename().string();
    }
    fs::path dir = fs::canonical(device, ec);
    if (ec) {
        return;
    }
    const fs::path top = fs::canonical(sysDir, ec);
    for (int depth = 0; depth < 12 && !ec && dir != top && dir.has_relative_path();
         ++depth, dir = dir.parent_path()) {
        const std::string vendor = Attribute(dir / "idVendor");
        if (vendor.empty()) {
            continue;
        }
        info.vendorId = vendor;
        info.productId = Attribute(dir / "idProduct");
        info.manufacturer = Attribute(dir / "manufacturer");
        info.product = Attribute(dir / "product");
        info.serial = Attribute(dir / "serial");
        return;
    }
}

SerialPortInfo Describe(const fs::path& devDir, const fs::path& sysDir, const std::string& name) {
    SerialPortInfo info;
    info.path = (devDir / name).string();
    info.byId = ByIdName(devDir, devDir / name);
    ReadSysfs(sysDir, name, info);
    return info;
}

}  // namespace

const SerialPortInfo* FindSerialPort(const std::vector<SerialPortInfo>& ports,
                                     const std::string& path) {
    for (const SerialPortInfo& info : ports) {
        if (info.path == path || info.byId == path) {
            return &info;
        }
    }
    for (const SerialPortInfo& info : ports) {
        if (SameNode(info.path, path)) {
            return &info;
        }
    }
    return nullptr;
}

std::vector<SerialPortInfo> DiscoverSerialPorts(const std::string& devDir,
                                                const std::string& sysDir) {
    const std::vector<std::string> names = EntryNames(devDir);
    std::vector<SerialPortInfo> ports;
    for (const char* prefix : {kUsbPrefix, kAcmPrefix}) {
        for (const std::string& name : NodesByNumber(names, prefix)) {
            ports.push_back(Describe(devDir, sysDir, name));
        }
    }
    for (const std::string& name : NodesByNumber(names, kUartPrefix)) {
        if (UartPresent(sysDir, name)) {
            ports.push_back(Describe(devDir, sysDir, name));
        }
    }
    return ports;
}

std::string ResolveComPort(int port, const std::vector<SerialPortInfo>& ports,
                           const std::string& devDir) {
    if (port < 0) {
        return {};
    }
    if (const std::string chosen = ComPortVariable(port); !chosen.empty()) {
        return chosen;
    }
    if (static_cast<std::size_t>(port) < ports.size()) {
        return ports[static_cast<std::size_t>(port)].path;
    }
    return (fs::path(devDir) / (kUartPrefix + std::to_string(port))).string();
}

std::string ResolveComPort(int port, const std::string& devDir, const std::string& sysDir) {
    if (port < 0 || !ComPortVariable(port).empty()) {
        return ResolveComPort(port, std::vector<SerialPortInfo>{}, devDir);
    }
    return ResolveComPort(port, DiscoverSerialPorts(devDir, sysDir), devDir);
}

std::string DescribeSerialPort(const SerialPortInfo& info) {
    std::string model = info.product;
    if (!info.manufacturer.empty() &&
        model.compare(0, info.manufacturer.size(), info.manufacturer) != 0) {
        model = model.empty() ? info.manufacturer : info.manufacturer + " " + model;
    }
    if (model.empty() && !info.vendorId.empty()) {
        model = "USB " + info.vendorId + ":" + info.productId;
    }
    std::string details = model;
    if (!info.serial.empty()) {
        details += (details.empty() ? "serial " : ", serial ") + info.serial;
    }
    return details.empty() ? info.path : info.path + ": " + details;
}

std::string DescribeComPort(int port, const std::string& devDir, const std::string& sysDir) {
    const std::vector<SerialPortInfo> ports = DiscoverSerialPorts(devDir, sysDir);
    const std::string path = ResolveComPort(port, ports, devDir);
    if (path.empty()) {
        return path;
    }
    if (const SerialPortInfo* found = FindSerialPort(ports, path)) {
        SerialPortInfo named = *found;
        named.path = path;
        return DescribeSerialPort(named);
    }
    return path;
}
