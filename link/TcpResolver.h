// Name resolution with a time limit. getaddrinfo itself has none: with a name
// server that does not answer it can block for many seconds, all that time in
// the handler of the button that was pressed. Numeric addresses never reach the
// resolver; names are looked up on a helper thread that the caller stops
// waiting for at its deadline. An abandoned lookup finishes on its own and
// frees what it found; nothing it owns is shared with the caller but the
// reference-counted result slot. The same code on Linux and on Windows
// (Winsock's getaddrinfo); only the headers differ.
#pragma once

#ifdef _WIN32
#include <winsock2.h>
#include <ws2tcpip.h>
#else
#include <netdb.h>
#include <sys/socket.h>
#endif

#include <cstdint>
#include <string>
#include <vector>

struct ResolvedAddress {
    sockaddr_storage addr{};
    socklen_t length = 0;
    int family = 0;
};

// The TCP addresses of host:port, in the resolver's order, within waitMs.
// False with reason set ("...: Name or service not known", "...: name
// resolution took longer than N ms") when there are none in time.
bool ResolveTcp(const std::string& host, std::uint16_t port, std::uint32_t waitMs,
                std::vector<ResolvedAddress>& addresses, std::string& reason);
