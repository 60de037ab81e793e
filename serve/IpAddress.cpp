#include "serve/IpAddress.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "serve/HttpParse.h"  // HexDigit

namespace {

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

// Four decimal parts of 0..255, no leading zeros (which other parsers read
// as octal), nothing else.
bool ParseIpv4(std::string_view text, std::uint8_t* out) {
    std::size_t i = 0;
    for (int part = 0; part < 4; ++part) {
        if (part > 0) {
            if (i >= text.size() || text[i] != '.') {
                return false;
            }
            ++i;
        }
        const std::size_t start = i;
        unsigned value = 0;
        while (i < text.size() && IsDigit(text[i]) && i - start < 3) {
            value = value * 10 + static_cast<unsigned>(text[i] - '0');
            ++i;
        }
        if (i == start || value > 255 || (text[start] == '0' && i - start > 1)) {
            return false;
        }
        out[part] = static_cast<std::uint8_t>(value);
    }
    return i == text.size();
}

// Colon-separated groups of 1..4 hex digits; the last may be a dotted IPv4
// address (two groups) when v4Tail. Empty text: no groups.
bool ParseGroups(std::string_view text, bool v4Tail, std::vector<std::uint16_t>* groups) {
    if (text.empty()) {
        return true;
    }
    for (std::size_t start = 0;;) {
        const std::size_t colon = text.find(':', start);
        const std::string_view piece = text.substr(start, colon - start);
        if (colon == std::string_view::npos && v4Tail && piece.find('.') != piece.npos) {
            std::uint8_t v4[4];
            if (!ParseIpv4(piece, v4)) {
                return false;
            }
            groups->push_back(static_cast<std::uint16_t>(v4[0] << 8 | v4[1]));
            groups->push_back(static_cast<std::uint16_t>(v4[2] << 8 | v4[3]));
            return true;
        }
        if (piece.empty() || piece.size() > 4) {
            return false;
        }
        unsigned value = 0;
        for (char c : piece) {
            if (HexDigit(c) < 0) {
                return false;
            }
            value = value << 4 | static_cast<unsigned>(HexDigit(c));
        }
        groups->push_back(static_cast<std::uint16_t>(value));
        if (colon == std::string_view::npos) {
            return true;
        }
        start = colon + 1;
    }
}

// IPv6 text into 16 bytes, "::" standing for one or more zero groups.
bool ParseIpv6(std::string_view text, std::uint8_t* out) {
    std::vector<std::uint16_t> head, tail;
    const std::size_t gap = text.find("::");
    if (gap == std::string_view::npos) {
        if (!ParseGroups(text, true, &head) || head.size() != 8) {
            return false;
        }
    } else {
        const std::string_view after = text.substr(gap + 2);
        if (after.find("::") != after.npos || !ParseGroups(text.substr(0, gap), false, &head) ||
            !ParseGroups(after, true, &tail) || head.size() + tail.size() > 7) {
            return false;
        }
    }
    std::vector<std::uint16_t> groups = head;
    groups.resize(8 - tail.size(), 0);
    groups.insert(groups.end(), tail.begin(), tail.end());
    for (int g = 0; g < 8; ++g) {
        out[2 * g] = static_cast<std::uint8_t>(groups[g] >> 8);
        out[2 * g + 1] = static_cast<std::uint8_t>(groups[g] & 0xff);
    }
    return true;
}

bool IsMappedIpv4(const IpAddress& a) {
    static const std::uint8_t kPrefix[12] = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xff, 0xff};
    return a.v6 && std::memcmp(a.bytes.data(), kPrefix, sizeof kPrefix) == 0;
}

// ::ffff:a.b.c.d is a.b.c.d: a socket connecting to one reaches the other.
IpAddress Unmapped(IpAddress a) {
    if (!IsMappedIpv4(a)) {
        return a;
    }
    IpAddress v4;
    std::memcpy(v4.bytes.data(), a.bytes.data() + 12, 4);
    return v4;
}

// Every byte past the prefix set to 0.
void CutToPrefix(IpAddress* a, int prefix) {
    for (int bit = prefix; bit < 128; ++bit) {
        a->bytes[static_cast<std::size_t>(bit / 8)] &=
            static_cast<std::uint8_t>(~(0x80 >> bit % 8));
    }
}

bool ParseRawIp(std::string_view text, IpAddress* a) {
    *a = IpAddress{};
    a->v6 = text.find(':') != text.npos;
    return a->v6 ? ParseIpv6(text, a->bytes.data()) : ParseIpv4(text, a->bytes.data());
}

}  // namespace

bool ParseIpAddress(std::string_view text, IpAddress* address) {
    IpAddress raw;
    if (!ParseRawIp(text, &raw)) {
        return false;
    }
    *address = Unmapped(raw);
    return true;
}

std::string FormatIpAddress(const IpAddress& a) {
    const std::uint8_t* b = a.bytes.data();
    if (!a.v6) {
        return std::to_string(b[0]) + "." + std::to_string(b[1]) + "." + std::to_string(b[2]) +
               "." + std::to_string(b[3]);
    }
    int groups[8];
    for (int g = 0; g < 8; ++g) {
        groups[g] = b[2 * g] << 8 | b[2 * g + 1];
    }
    int bestStart = -1, bestLength = 1;  // a run of one zero stays "0"
    for (int g = 0; g < 8;) {
        int end = g;
        while (end < 8 && groups[end] == 0) {
            ++end;
        }
        if (end - g > bestLength) {
            bestStart = g;
            bestLength = end - g;
        }
        g = end == g ? g + 1 : end;
    }
    static const char kHex[] = "0123456789abcdef";
    std::string out;
    for (int g = 0; g < 8; ++g) {
        if (g == bestStart) {
            out += "::";
            g += bestLength - 1;
            continue;
        }
        if (!out.empty() && out.back() != ':') {
            out += ':';
        }
        std::string digits;
        for (int v = groups[g]; v != 0 || digits.empty(); v >>= 4) {
            digits.insert(digits.begin(), kHex[v & 0xf]);
        }
        out += digits;
    }
    return a.scope != 0 ? out + "%" + std::to_string(a.scope) : out;
}

bool BlockContains(const AddressBlock& block, const IpAddress& address, std::uint16_t port) {
    if (block.base.v6 != address.v6 || (block.port != 0 && block.port != port)) {
        return false;
    }
    IpAddress cut = address;
    CutToPrefix(&cut, block.prefix);
    return cut.bytes == block.base.bytes;
}

bool ParseAddressBlock(std::string_view text, AddressBlock* block) {
    const std::size_t slash = text.find('/');
    if (slash == text.npos) {
        return false;
    }
    const std::string_view digits = text.substr(slash + 1);
    IpAddress base;
    if (!ParseRawIp(text.substr(0, slash), &base) || digits.empty() || digits.size() > 3) {
        return false;
    }
    int prefix = 0;
    for (char c : digits) {
        if (!IsDigit(c)) {
            return false;
        }
        prefix = prefix * 10 + (c - '0');
    }
    if (prefix > (base.v6 ? 128 : 32)) {
        return false;
    }
    if (IsMappedIpv4(base) && prefix >= 96) {
        base = Unmapped(base);
        prefix -= 96;
    }
    CutToPrefix(&base, prefix);
    *block = AddressBlock{base, prefix, 0};
    return true;
}

IpAddress IpAddressOf(const ResolvedAddress& resolved) {
    IpAddress a;
    a.v6 = resolved.v6;
    a.bytes = resolved.bytes;
    a.scope = resolved.scope;
    return Unmapped(a);
}

bool IsLoopbackAddress(const IpAddress& address) {
    if (!address.v6) {
        return address.bytes[0] == 127;
    }
    const auto& b = address.bytes;
    return std::all_of(b.begin(), b.end() - 1, [](std::uint8_t x) { return x == 0; }) &&
           b.back() == 1;
}

bool IsLoopbackHost(std::string_view host) {
    if (host.size() >= 2 && host.front() == '[' && host.back() == ']') {
        host = host.substr(1, host.size() - 2);
    }
    IpAddress address;
    return host == "localhost" || (ParseIpAddress(host, &address) && IsLoopbackAddress(address));
}

std::string ClientBlock(const std::string& address) {
    IpAddress ip;
    if (!ParseIpAddress(address, &ip) || !ip.v6) {
        return address;
    }
    std::fill(ip.bytes.begin() + 8, ip.bytes.end(), 0);
    ip.scope = 0;
    return FormatIpAddress(ip) + "/64";
}
