// Socket addresses and the name look-up, in the BSD calls that Linux and
// Winsock both offer (getaddrinfo, sockaddr_in, sockaddr_in6): written once,
// compiled on both systems. Each system's declarations come from its own
// SocketHeaders.h (link/posix/ or link/win32/, on the link's include path).
#pragma once

#include "SocketHeaders.h"

#include <cstddef>

#include "link/TcpResolver.h"

// A socket address as the resolver hands it on; false for a family other
// than IPv4 and IPv6.
bool FromSockaddr(const sockaddr* sa, std::size_t length, ResolvedAddress& out);

// The socket address connect takes for a resolved one, and its length.
socklen_t ToSockaddr(const ResolvedAddress& a, sockaddr_storage& storage);
