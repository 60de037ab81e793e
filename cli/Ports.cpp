#include "cli/Ports.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <set>

#include <nlohmann/json.hpp>

#include "base/Files.h"
#include "cli/StdoutText.h"
#include "formats/DisplayWidth.h"
#include "formats/RecordFormat.h"
#include "link/PortOrder.h"
#include "link/SerialDevice.h"
#include "link/TcpAddress.h"

namespace {

// The highest COMn whose $K40_COMn is looked for: what Windows names at most.
constexpr int kMostComPorts = 256;

std::string FromEnvironment(const char* name, const char* fallback) {
    const char* v = std::getenv(name);
    return v != nullptr && *v != '\0' ? v : fallback;
}

// Whether the device a COMn resolved to is this port: the path itself, its
// by-id link, or another name of the same node.
std::string UsbId(const SerialPortInfo& info) {
    return info.vendorId.empty() ? std::string() : info.vendorId + ":" + info.productId;
}

std::string ComText(const PortListing& port) {
    std::string text;
    for (const std::string& name : port.comNames) {
        text += (text.empty() ? "" : " ") + name;
    }
    return text;
}

// The columns of every format, in order, with their table and CSV headings.
std::vector<std::string> Fields(const PortListing& port) {
    const SerialPortInfo& i = port.info;
    return {ComText(port), i.path, i.byId, UsbId(i), i.manufacturer, i.product, i.serial, i.driver};
}

const std::vector<std::string> kHeadings = {"com",   "device", "by_id",  "usb",
                                            "maker", "model",  "serial", "driver"};

std::string Table(const std::vector<PortListing>& ports) {
    std::vector<std::vector<std::string>> rows;
    rows.push_back({"COM", "DEVICE", "BY-ID", "USB", "MAKER", "MODEL", "SERIAL", "DRIVER"});
    for (const PortListing& port : ports) {
        std::vector<std::string> row = Fields(port);
        for (std::string& field : row) {
            if (field.empty()) {
                field = "-";
            }
        }
        rows.push_back(row);
    }
    std::vector<std::size_t> widths(kHeadings.size(), 0);
    for (const auto& row : rows) {
        for (std::size_t c = 0; c < row.size(); ++c) {
            widths[c] = std::max(widths[c], DisplayWidth(row[c]));
        }
    }
    std::string text;
    for (const auto& row : rows) {
        std::string line;
        for (std::size_t c = 0; c < row.size(); ++c) {
            line += c + 1 < row.size() ? PadRight(row[c], widths[c]) + "  " : row[c];
        }
        text += line + "\n";
    }
    return text;
}

std::string Csv(const std::vector<PortListing>& ports) {
    std::string text = CsvLine(kHeadings);
    for (const PortListing& port : ports) {
        text += CsvLine(Fields(port));
    }
    return text;
}

std::string JsonLines(const std::vector<PortListing>& ports) {
    std::string text;
    for (const PortListing& port : ports) {
        nlohmann::ordered_json object;
        object["com"] = port.comNames;
        const std::vector<std::string> fields = Fields(port);
        for (std::size_t c = 1; c < fields.size(); ++c) {
            // What sysfs does not tell is null, not an empty text.
            object[kHeadings[c]] =
                fields[c].empty() ? nlohmann::ordered_json() : nlohmann::ordered_json(fields[c]);
        }
        // USB descriptors are whatever bytes the adapter's maker put there:
        // a byte that is not UTF-8 becomes U+FFFD rather than ending the listing.
        text +=
            object.dump(-1, ' ', false, nlohmann::ordered_json::error_handler_t::replace) + "\n";
    }
    return text;
}

// The numbers n of every $K40_COMn that is set and not empty: a user may set
// any of them, also beyond the ports found (the console names COM1 and COM2).
std::set<int> ComVariables() {
    std::set<int> numbers;
    for (int n = 1; n <= kMostComPorts; ++n) {
        if (!ComPortVariable(n - 1).empty()) {
            numbers.insert(n);
        }
    }
    return numbers;
}

// A device a $K40_COMn names that discovery does not list: a pseudo-terminal
// (a simulator, socat), any other terminal device, or a serial device server.
bool IsOtherPort(const std::string& name) {
    return IsTcpPortName(name) || StatFile(name).kind == FileKind::Device;
}

// Whether two names open the same thing: the same text, or the same node.
bool SameDevice(const std::string& a, const std::string& b) {
    if (a == b || IsTcpPortName(a)) {
        return a == b;
    }
    return SameFile(a, b);
}

// Adds COMn to the row of an override's device, after the ports found.
void AddOverride(std::vector<PortListing>& list, std::size_t found, const std::string& device,
                 const std::string& com) {
    for (std::size_t i = found; i < list.size(); ++i) {
        if (SameDevice(list[i].info.path, device)) {
            list[i].comNames.push_back(com);
            return;
        }
    }
    SerialPortInfo info;
    info.path = device;
    list.push_back({info, {com}});
}

}  // namespace

std::string DevDir() {
    return FromEnvironment("K40_DEV_DIR", "/dev");
}

std::string SysDir() {
    return FromEnvironment("K40_SYS_DIR", "/sys");
}

std::vector<PortListing> ListPorts(const std::string& devDir, const std::string& sysDir) {
    std::vector<PortListing> list;
    const std::vector<SerialPortInfo> found = DiscoverSerialPorts(devDir, sysDir);
    for (const SerialPortInfo& info : found) {
        list.push_back({info, {}});
    }
    const std::set<int> variables = ComVariables();
    std::set<int> numbers = variables;
    for (int n = 1; n <= static_cast<int>(found.size()); ++n) {
        numbers.insert(n);
    }
    // Past the ports found, COMn falls back to a ttyS node that is not there;
    // only a variable can make it one of these, or a device of its own.
    for (const int n : numbers) {
        const std::string com = "COM" + std::to_string(n);
        const std::string resolved = ResolveComPort(n - 1, found, devDir);
        if (const SerialPortInfo* named = FindSerialPort(found, resolved)) {
            list[static_cast<std::size_t>(named - found.data())].comNames.push_back(com);
        } else if (variables.count(n) != 0 && IsOtherPort(resolved)) {
            AddOverride(list, found.size(), resolved, com);
        }
    }
    return list;
}

std::string FormatPorts(const std::vector<PortListing>& ports, OutputFormat format) {
    switch (format) {
        case OutputFormat::Csv:
            return Csv(ports);
        case OutputFormat::Json:
            return JsonLines(ports);
        case OutputFormat::Table:
        case OutputFormat::Prometheus:
            return Table(ports);
    }
    return {};
}

int RunPorts(const CtlOptions& options) {
    const std::vector<PortListing> ports = ListPorts(DevDir(), SysDir());
    const std::string text = FormatPorts(ports, options.format);
    if (!WriteStdout(text)) {
        return kExitFailure;
    }
    if (ports.empty()) {
        std::fprintf(stderr, "k40ctl: no serial ports found; COM1 is %s\n",
                     ResolveComPort(0, DevDir(), SysDir()).c_str());
    }
    return kExitReply;
}
