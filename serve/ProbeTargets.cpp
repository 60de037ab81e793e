#include "serve/ProbeTargets.h"

#include <algorithm>
#include <cctype>

#include "link/SerialDevice.h"
#include "link/TcpResolver.h"

namespace {

// Every target the rules can allow is a TCP one or a listed serial port; a
// requested name longer than this is no device of this fleet.
constexpr std::size_t kMaxTargetLength = 256;

std::string Lower(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

// Without --probe-target the probe reaches this host only, and only when
// serve listens on loopback.
bool LoopbackOnly(const ProbeRules& rules) {
    return rules.blocks.empty() && rules.names.empty();
}

bool NameAllowed(const ProbeRules& rules, const std::string& host, std::uint16_t port) {
    const std::string name = Lower(host);
    return std::any_of(rules.names.begin(), rules.names.end(), [&](const NamedHost& n) {
        return n.host == name && (n.port == 0 || n.port == port);
    });
}

// The same device server or gateway however its address is spelled:
// "127.0.0.1:5020" for tcp://127.0.0.1:5020, mbtcp://[::ffff:127.0.0.1]:5020 too.
std::string LineKeyOf(const TcpAddress& address) {
    IpAddress ip;
    const std::string host =
        ParseIpAddress(address.host, &ip) ? FormatIpAddress(ip) : Lower(address.host);
    return FormatHostPort(TcpAddress{host, address.port});
}

// The host part of a --probe-target, with its port (0: any). False when the
// text is no host or HOST:PORT.
bool SplitHostPort(const std::string& option, TcpAddress* address, std::string* why) {
    const std::size_t colons =
        static_cast<std::size_t>(std::count(option.begin(), option.end(), ':'));
    if (option.front() == '[' && option.back() == ']') {
        *address = TcpAddress{option.substr(1, option.size() - 2), 0};
        return true;
    }
    if (colons >= 2 && option.front() != '[') {
        *address = TcpAddress{option, 0};  // an IPv6 address without brackets has no port
        return true;
    }
    if (colons == 0) {
        // The link's parsing checks the name; the port is set aside again.
        if (!ParseHostPort(option + ":1", false, *address, *why)) {
            return false;
        }
        address->port = 0;
        return true;
    }
    return ParseHostPort(option, false, *address, *why);
}

}  // namespace

bool AddProbeTarget(const std::string& option, ProbeRules* rules, std::string* why) {
    const std::string shown = "--probe-target \"" + option + "\": ";
    if (option.empty()) {
        *why = shown + "empty";
        return false;
    }
    if (option.find('/') != std::string::npos) {
        AddressBlock block;
        if (!ParseAddressBlock(option, &block)) {
            *why = shown + "not an address block such as 192.0.2.0/24 or fd00::/8";
            return false;
        }
        rules->blocks.push_back(block);
        return true;
    }
    TcpAddress address;
    std::string error;
    if (!SplitHostPort(option, &address, &error)) {
        *why = shown + error;
        return false;
    }
    IpAddress ip;
    if (ParseIpAddress(address.host, &ip)) {
        rules->blocks.push_back(AddressBlock{ip, ip.v6 ? 128 : 32, address.port});
        return true;
    }
    if (address.host.find_first_not_of("0123456789.") == std::string::npos) {
        // "127.1", "0177.0.0.1": the system would read them otherwise than they look.
        *why = shown + "not an IPv4 address (four decimal parts, no leading zeros)";
        return false;
    }
    if (address.host.find_first_of(":%[]") != std::string::npos) {
        *why = shown + "not an IPv6 address (a rule names no zone: give fe80::/10 for link-local)";
        return false;
    }
    rules->names.push_back(NamedHost{Lower(address.host), address.port});
    return true;
}

void SetServedPort(const std::string& port, std::uint32_t waitMs, ProbeRules* rules) {
    rules->servedPort = port;
    rules->servedLines.clear();
    TcpAddress address;
    std::string error;
    if (!IsTcpPortName(port) || !ParseTcpPortName(port, address, error)) {
        return;
    }
    rules->servedLines.push_back(LineKeyOf(address));
    std::vector<ResolvedAddress> found;
    if (!ResolveTcp(address.host, address.port, waitMs, found, error)) {
        return;  // the spelling alone; the poller cannot reach it either
    }
    for (const ResolvedAddress& r : found) {
        const std::string line = FormatHostPort(TcpAddress{FormatIpAddress(IpAddressOf(r)), address.port});
        if (std::find(rules->servedLines.begin(), rules->servedLines.end(), line) ==
            rules->servedLines.end()) {
            rules->servedLines.push_back(line);
        }
    }
}

bool AddProbePort(const std::string& port, ProbeRules* rules, std::string* why) {
    if (port.empty()) {
        *why = "--probe-port: empty";
        return false;
    }
    if (IsTcpPortName(port)) {
        *why = "--probe-port " + port +
               ": a serial port only; allow device servers and gateways with --probe-target";
        return false;
    }
    if (!rules->servedPort.empty() &&
        (port == rules->servedPort || SameSerialDevice(port, rules->servedPort))) {
        *why = "--probe-port " + port + " is the port this serve polls (--port " +
               rules->servedPort + "): its values are on /metrics";
        return false;
    }
    auto& ports = rules->serialPorts;
    if (std::find(ports.begin(), ports.end(), port) == ports.end()) {
        ports.push_back(port);
    }
    return true;
}

bool AddressAllowed(const ProbeRules& rules, const IpAddress& address, std::uint16_t port) {
    if (LoopbackOnly(rules)) {
        return rules.loopbackByDefault && IsLoopbackAddress(address);
    }
    return std::any_of(rules.blocks.begin(), rules.blocks.end(),
                       [&](const AddressBlock& b) { return BlockContains(b, address, port); });
}

TargetVerdict ParseProbeTarget(const std::string& text, const ProbeRules& rules,
                               ProbeTarget* target, std::string* why) {
    *target = ProbeTarget{};
    target->given = text;
    if (text.empty() || text.size() > kMaxTargetLength) {
        *why = text.empty() ? "no target" : "target longer than 256 characters";
        return TargetVerdict::Refused;
    }
    if (!IsTcpPortName(text)) {
        const auto& ports = rules.serialPorts;
        if (std::find(ports.begin(), ports.end(), text) == ports.end()) {
            *why = "target " + text + ": not a port this exporter may probe (see --probe-port)";
            return TargetVerdict::Refused;
        }
        target->lineKey = "serial " + ResolvePortName(text);
        return TargetVerdict::Allowed;
    }
    std::string error;
    if (!ParseTcpPortName(text, target->address, error)) {
        *why = "target " + text + ": " + error;
        return TargetVerdict::Refused;
    }
    target->kind = IsMbapPortName(text) ? ProbeKind::ModbusTcp : ProbeKind::RtuOverTcp;
    target->lineKey = LineKeyOf(target->address);
    TcpAddress served;
    if (IsTcpPortName(rules.servedPort) && ParseTcpPortName(rules.servedPort, served, error) &&
        LineKeyOf(served) == target->lineKey) {
        *why = "target " + text + " is the unit this serve polls: its values are on /metrics";
        return TargetVerdict::Refused;
    }
    const std::uint16_t port = target->address.port;
    target->numeric = ParseIpAddress(target->address.host, &target->ip);
    if (target->numeric && AddressAllowed(rules, target->ip, port)) {
        return TargetVerdict::Allowed;
    }
    // A name passes by a rule for it, or by what it resolves to.
    if (!target->numeric && (NameAllowed(rules, target->address.host, port) ||
                             (LoopbackOnly(rules) && rules.loopbackByDefault) ||
                             !rules.blocks.empty())) {
        return TargetVerdict::NeedsLookup;
    }
    *why = "target " + text + ": not an address this exporter may probe (see --probe-target)";
    return TargetVerdict::Refused;
}

bool CheckProbeAddresses(const ProbeRules& rules, const ProbeTarget& target,
                         const std::vector<IpAddress>& resolved,
                         std::vector<std::string>* connectTo, std::string* why) {
    connectTo->clear();
    const std::uint16_t port = target.address.port;
    const bool byName = !target.numeric && NameAllowed(rules, target.address.host, port);
    const std::string scheme = target.kind == ProbeKind::ModbusTcp ? "mbtcp://" : "tcp://";
    for (const IpAddress& ip : resolved) {
        const std::string number = FormatIpAddress(ip);
        if (!byName && !AddressAllowed(rules, ip, port)) {
            connectTo->clear();
            *why = "target " + target.given + ": " + target.address.host + " is " + number +
                   ", not an address this exporter may probe (see --probe-target)";
            return false;
        }
        const std::string line = FormatHostPort(TcpAddress{number, port});
        const auto& served = rules.servedLines;
        if (std::find(served.begin(), served.end(), line) != served.end()) {
            connectTo->clear();
            *why = "target " + target.given + " is the unit this serve polls (" + line +
                   "): its values are on /metrics";
            return false;
        }
        const std::string name = scheme + line;
        if (std::find(connectTo->begin(), connectTo->end(), name) == connectTo->end()) {
            connectTo->push_back(name);
        }
    }
    if (connectTo->empty()) {
        *why = "target " + target.given + ": no address";
        return false;
    }
    return true;
}

bool ResolveProbeTarget(const ProbeRules& rules, const ProbeTarget& target, std::uint32_t waitMs,
                        std::vector<std::string>* connectTo, std::string* why, bool* refused) {
    *refused = false;
    std::vector<IpAddress> addresses;
    if (target.numeric) {
        addresses.push_back(target.ip);
    } else {
        std::vector<ResolvedAddress> found;
        std::string reason;
        if (!ResolveTcp(target.address.host, target.address.port, waitMs, found, reason)) {
            *why = "cannot resolve " + reason;
            return false;
        }
        for (const ResolvedAddress& r : found) {
            addresses.push_back(IpAddressOf(r));
        }
    }
    *refused = !CheckProbeAddresses(rules, target, addresses, connectTo, why);
    return !*refused;
}
