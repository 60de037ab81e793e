// IP addresses and address blocks as the probe's rules compare them: parsed
// by hand, strictly (four decimal parts for IPv4, no leading zeros), because
// the system's numeric parsing also takes "127.1" and "0177.0.0.1" and such
// forms must never pass a rule under a different meaning. The rules check
// the addresses a target resolved to, so every spelling ends up checked by
// its bytes.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

#include "link/TcpResolver.h"

// An IP address as the rules compare it: IPv4 in the first 4 bytes, IPv6 in
// all 16. scope: the zone (interface index) of a link-local IPv6 address.
struct IpAddress {
    bool v6 = false;
    std::array<std::uint8_t, 16> bytes{};
    std::uint32_t scope = 0;
};

// "192.0.2.7", "fd00::7", "::ffff:192.0.2.7" (no brackets, no zone). An
// IPv4-mapped IPv6 address is returned as the IPv4 address it carries.
bool ParseIpAddress(std::string_view text, IpAddress* address);
// Dotted IPv4; IPv6 with its longest run of zero groups as "::", and the zone
// as "%N" when it has one. Text the link's name parsing takes back.
std::string FormatIpAddress(const IpAddress& address);

// What the server's per-client limit counts of a client's address: the
// address, but an IPv6 one's /64 ("2001:db8:1:2::/64"), since one host on a
// network may use any address of its /64. Text that is no address as it is.
std::string ClientBlock(const std::string& address);

// 127.0.0.0/8 or ::1: the host's own loopback. The one test of it: the
// listen address, the Host rules and the probe's default targets all ask here.
bool IsLoopbackAddress(const IpAddress& address);
// A host as a listen address or a Host header gives it: "localhost", or an
// address in digits ("127.0.0.1", "::1", "[::1]") that is loopback.
bool IsLoopbackHost(std::string_view host);

// base/prefix, and the one port it is limited to (0: any port).
struct AddressBlock {
    IpAddress base;
    int prefix = 0;
    std::uint16_t port = 0;
};
// Whether the block holds the address (and, when it names one, the port).
bool BlockContains(const AddressBlock& block, const IpAddress& address, std::uint16_t port);
// "192.0.2.0/24", "fd00::/8", "::ffff:192.0.2.0/120" (the IPv4 block it
// maps). The base is cut to its prefix. False when the text is not a block.
bool ParseAddressBlock(std::string_view text, AddressBlock* block);

// A resolver's address as the rules compare it.
IpAddress IpAddressOf(const ResolvedAddress& resolved);
