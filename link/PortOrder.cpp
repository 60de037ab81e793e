#include "link/PortOrder.h"

#include <algorithm>

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

std::string ResolveComIndex(int port, const std::vector<std::string>& ordered,
                            const std::string& override) {
    if (port < 0) {
        return {};
    }
    if (!override.empty()) {
        return override;
    }
    const int wanted = port + 1;
    const auto present = [&](int n) {
        return std::any_of(ordered.begin(), ordered.end(),
                           [n](const std::string& name) { return ComPortNumber(name) == n; });
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
    int k = 0;
    for (const std::string& name : ordered) {
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
