#include "link/sockets/SocketAddress.h"

#include <cstring>
#include <string>
#include <vector>

#include "link/TcpSocket.h"

const int kNoSuchName = EAI_NONAME;

bool FromSockaddr(const sockaddr* sa, std::size_t length, ResolvedAddress& out) {
    if (sa->sa_family == AF_INET && length >= sizeof(sockaddr_in)) {
        sockaddr_in in{};
        std::memcpy(&in, sa, sizeof in);
        std::memcpy(out.bytes.data(), &in.sin_addr, 4);
        out.port = ntohs(in.sin_port);
        return true;
    }
    if (sa->sa_family == AF_INET6 && length >= sizeof(sockaddr_in6)) {
        sockaddr_in6 in6{};
        std::memcpy(&in6, sa, sizeof in6);
        std::memcpy(out.bytes.data(), &in6.sin6_addr, 16);
        out.v6 = true;
        out.port = ntohs(in6.sin6_port);
        out.scope = in6.sin6_scope_id;
        return true;
    }
    return false;
}

socklen_t ToSockaddr(const ResolvedAddress& a, sockaddr_storage& storage) {
    storage = sockaddr_storage{};
    if (!a.v6) {
        sockaddr_in in{};
        in.sin_family = AF_INET;
        in.sin_port = htons(a.port);
        std::memcpy(&in.sin_addr, a.bytes.data(), 4);
        std::memcpy(&storage, &in, sizeof in);
        return sizeof in;
    }
    sockaddr_in6 in6{};
    in6.sin6_family = AF_INET6;
    in6.sin6_port = htons(a.port);
    std::memcpy(&in6.sin6_addr, a.bytes.data(), 16);
    in6.sin6_scope_id = a.scope;
    std::memcpy(&storage, &in6, sizeof in6);
    return sizeof in6;
}


int LookUpTcp(const std::string& host, std::uint16_t port, bool numericOnly,
              std::vector<ResolvedAddress>& out) {
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_protocol = IPPROTO_TCP;
    hints.ai_flags = AI_NUMERICSERV | (numericOnly ? AI_NUMERICHOST : 0);
    addrinfo* list = nullptr;
    const int rc = getaddrinfo(host.c_str(), std::to_string(port).c_str(), &hints, &list);
    if (rc != 0) {
        return rc;
    }
    const std::size_t before = out.size();
    for (const addrinfo* ai = list; ai != nullptr; ai = ai->ai_next) {
        ResolvedAddress a;
        if (FromSockaddr(ai->ai_addr, ai->ai_addrlen, a)) {
            out.push_back(a);
        }
    }
    freeaddrinfo(list);
    return out.size() == before ? EAI_NONAME : 0;
}

