#include "link/TcpAddress.h"

#include <algorithm>

namespace {

constexpr std::string_view kScheme = "tcp://";
constexpr std::string_view kMbapScheme = "mbtcp://";
constexpr char kMbapDefaultPort[] = ":502";

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

bool IsHex(char c) {
    return IsDigit(c) || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

bool IsAlnum(char c) {
    return IsDigit(c) || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

// A DNS name or a dotted IPv4 address: letters, digits, '-', '_' and dots,
// no empty label. Whether it resolves is the resolver's business.
bool IsHostName(std::string_view host) {
    if (host.empty() || host.size() > 253 || host.front() == '.' || host.back() == '.') {
        return false;
    }
    char prev = '\0';
    for (const char c : host) {
        if (!(IsAlnum(c) || c == '-' || c == '_' || c == '.') || (c == '.' && prev == '.')) {
            return false;
        }
        prev = c;
    }
    return true;
}

// The text between the brackets: hex groups, colons and an embedded IPv4 tail,
// optionally a zone ("%eth0") for a link-local address.
bool IsIpv6Text(std::string_view host) {
    const std::size_t zone = host.find('%');
    const std::string_view addr = host.substr(0, zone);
    if (addr.size() < 2 || addr.find(':') == std::string_view::npos) {
        return false;
    }
    for (const char c : addr) {
        if (!(IsHex(c) || c == ':' || c == '.')) {
            return false;
        }
    }
    if (zone != std::string_view::npos) {
        const std::string_view name = host.substr(zone + 1);
        if (name.empty()) {
            return false;
        }
        for (const char c : name) {
            if (!(IsAlnum(c) || c == '-' || c == '_' || c == '.')) {
                return false;
            }
        }
    }
    return true;
}

}  // namespace

bool IsMbapPortName(std::string_view name) {
    return name.substr(0, kMbapScheme.size()) == kMbapScheme;
}

bool IsTcpPortName(std::string_view name) {
    return name.substr(0, kScheme.size()) == kScheme || IsMbapPortName(name);
}

bool ParseHostPort(std::string_view text, bool allowPortZero, TcpAddress& address,
                   std::string& error) {
    std::string_view host;
    std::string_view rest;
    if (!text.empty() && text.front() == '[') {
        const std::size_t close = text.find(']');
        if (close == std::string_view::npos) {
            error = "no closing bracket after the IPv6 address";
            return false;
        }
        host = text.substr(1, close - 1);
        rest = text.substr(close + 1);
        if (!IsIpv6Text(host)) {
            error = "\"" + std::string(host) + "\" is not an IPv6 address";
            return false;
        }
    } else {
        const std::size_t colon = text.rfind(':');
        if (colon == std::string_view::npos) {
            error = "no port: the address must be HOST:PORT";
            return false;
        }
        host = text.substr(0, colon);
        rest = text.substr(colon);
        if (host.find(':') != std::string_view::npos) {
            error = "an IPv6 address must be in brackets, as [ADDRESS]:PORT";
            return false;
        }
        if (!IsHostName(host)) {
            error = host.empty() ? "no host" : "\"" + std::string(host) + "\" is not a host name";
            return false;
        }
    }
    if (rest.empty() || rest.front() != ':' || rest.size() == 1) {
        error = "no port: the address must be HOST:PORT";
        return false;
    }
    const std::string_view digits = rest.substr(1);
    unsigned long port = 0;
    for (const char c : digits) {
        if (!IsDigit(c)) {
            error = "port \"" + std::string(digits) + "\" is not a number";
            return false;
        }
        port = std::min(port * 10 + static_cast<unsigned long>(c - '0'), 1000000UL);
    }
    if (port > 65535 || digits.size() > 5 || (port == 0 && !allowPortZero)) {
        error =
            "port " + std::string(digits) + " is not in " + (allowPortZero ? "0" : "1") + "..65535";
        return false;
    }
    address.host = std::string(host);
    address.port = static_cast<std::uint16_t>(port);
    return true;
}

bool ParseTcpPortName(std::string_view name, TcpAddress& address, std::string& error) {
    if (!IsTcpPortName(name)) {
        error = "not a tcp:// port name";
        return false;
    }
    if (!IsMbapPortName(name)) {
        return ParseHostPort(name.substr(kScheme.size()), false, address, error);
    }
    // Modbus TCP has its own port: it may be left out.
    std::string text(name.substr(kMbapScheme.size()));
    const std::size_t close = text.rfind(']');
    const std::size_t colon = text.rfind(':');
    if (colon == std::string::npos || (close != std::string::npos && colon < close)) {
        text += kMbapDefaultPort;
    }
    return ParseHostPort(text, false, address, error);
}

std::string FormatHostPort(const TcpAddress& address) {
    const bool v6 = address.host.find(':') != std::string::npos;
    return (v6 ? "[" + address.host + "]" : address.host) + ":" + std::to_string(address.port);
}
