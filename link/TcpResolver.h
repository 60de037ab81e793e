// Name resolution with a time limit. getaddrinfo itself has none: with a name
// server that does not answer it can block for many seconds, all that time in
// the handler of the button that was pressed. Numeric addresses never reach the
// resolver; names are looked up on a helper thread that the caller stops
// waiting for at its deadline. An abandoned lookup finishes on its own and
// frees what it found; nothing it owns is shared with the caller but the
// reference-counted result slot. The look-up itself is the system's
// (LookUpTcp in link/sockets/SocketAddress.cpp); the deadline is
// the same on both systems and lives here.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

// One address a name resolved to, without the system's socket structures:
// the socket files build those from it when they connect.
struct ResolvedAddress {
    bool v6 = false;
    // In network order: IPv4 in the first 4 bytes, IPv6 in all 16.
    std::array<std::uint8_t, 16> bytes{};
    std::uint16_t port = 0;
    // The zone (interface index) of a link-local IPv6 address, 0 otherwise.
    std::uint32_t scope = 0;
};

// The TCP addresses of host:port, in the resolver's order, within waitMs.
// False with reason set ("...: Name or service not known", "...: name
// resolution took longer than N ms") when there are none in time.
bool ResolveTcp(const std::string& host, std::uint16_t port, std::uint32_t waitMs,
                std::vector<ResolvedAddress>& addresses, std::string& reason);
