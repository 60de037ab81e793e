#include "link/PortOrder.h"

#include <algorithm>
#include <cstdlib>
#include <iterator>

namespace {
constexpr int kButtonPorts = 2;  // COM1 and COM2 on the settings page
}  // namespace

int ComPortNumber(const std::string& name) {
    if (name.size() < 4 || name.size() > 6 || name.compare(0, 3, "COM") != 0 || name[3] == '0') {
        return 0;
    }
    int number = 0;
    for (std::size_t i = 3; i < name.size(); ++i) {
        if (name[i] < '0' || name[i] > '9') {
            return 0;
        }
        number = number * 10 + (name[i] - '0');
    }
    return number;
}

std::vector<std::string> OrderComPorts(std::vector<PresentPort> ports) {
    std::stable_sort(ports.begin(), ports.end(), [](const PresentPort& a, const PresentPort& b) {
        if (a.usb != b.usb) {
            return a.usb;
        }
        return ComPortNumber(a.name) < ComPortNumber(b.name);
    });
    std::vector<std::string> names;
    names.reserve(ports.size());
    for (const PresentPort& p : ports) {
        names.push_back(p.name);
    }
    return names;
}

std::string ComPortVariable(int port) {
    if (port < 0) {
        return {};
    }
    const char* value = std::getenv(("K40_COM" + std::to_string(port + 1)).c_str());
    return value != nullptr ? value : "";
}

std::string ResolveComIndex(int port, const std::vector<PresentPort>& ports,
                            const std::string& override) {
    if (port < 0) {
        return {};
    }
    if (!override.empty()) {
        return override;
    }
    const int wanted = port + 1;
    const auto present = [&](int n) {
        return std::any_of(ports.begin(), ports.end(),
                           [n](const PresentPort& p) { return ComPortNumber(p.name) == n; });
    };
    const std::string own = "COM" + std::to_string(wanted);
    if (present(wanted)) {
        return own;
    }
    // The spare ports: those no COMm up to this one answers to by name, and
    // not COM1 or COM2, which the window's port buttons name themselves.
    int missingBefore = 0;
    for (int m = 1; m < wanted; ++m) {
        missingBefore += present(m) ? 0 : 1;
    }
    std::vector<PresentPort> adapters;
    std::copy_if(ports.begin(), ports.end(), std::back_inserter(adapters),
                 [](const PresentPort& p) { return p.usb; });
    int k = 0;
    for (const std::string& name : OrderComPorts(adapters)) {
        const int n = ComPortNumber(name);
        if (n >= 1 && n <= std::max(wanted, kButtonPorts)) {
            continue;
        }
        if (k++ == missingBefore) {
            return name;
        }
    }
    return own;
}
