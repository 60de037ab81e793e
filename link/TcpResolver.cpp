#include "link/TcpResolver.h"

#include <chrono>
#include <condition_variable>
#include <cstring>
#include <memory>
#include <mutex>
#include <system_error>
#include <thread>

#include "link/TcpSocket.h"

namespace {

// What one lookup hands back; shared between the caller and the helper thread,
// so whichever of the two lets go last frees it.
struct Lookup {
    std::mutex mutex;
    std::condition_variable done;
    bool finished = false;
    int rc = 0;
    std::vector<ResolvedAddress> addresses;
};

int Resolve(const std::string& host, const std::string& service, int flags,
            std::vector<ResolvedAddress>& out) {
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_protocol = IPPROTO_TCP;
    hints.ai_flags = AI_NUMERICSERV | flags;
    addrinfo* list = nullptr;
    const int rc = getaddrinfo(host.c_str(), service.c_str(), &hints, &list);
    if (rc != 0) {
        return rc;
    }
    for (const addrinfo* ai = list; ai != nullptr; ai = ai->ai_next) {
        if (ai->ai_addrlen > sizeof(sockaddr_storage)) {
            continue;
        }
        ResolvedAddress a;
        std::memcpy(&a.addr, ai->ai_addr, ai->ai_addrlen);
        a.length = ai->ai_addrlen;
        a.family = ai->ai_family;
        out.push_back(a);
    }
    freeaddrinfo(list);
    return out.empty() ? EAI_NONAME : 0;
}

}  // namespace

bool ResolveTcp(const std::string& host, std::uint16_t port, std::uint32_t waitMs,
                std::vector<ResolvedAddress>& addresses, std::string& reason) {
    const std::string service = std::to_string(port);
    // An address in digits needs no name server: answered at once.
    int rc = Resolve(host, service, AI_NUMERICHOST, addresses);
    if (rc == 0) {
        return true;
    }
    if (rc != EAI_NONAME) {
        reason = host + ": " + ResolveErrorText(rc);
        return false;
    }
    auto lookup = std::make_shared<Lookup>();
    try {
        std::thread([lookup, host, service] {
            std::vector<ResolvedAddress> found;
            const int r = Resolve(host, service, 0, found);
            const std::lock_guard<std::mutex> lock(lookup->mutex);
            lookup->rc = r;
            lookup->addresses = std::move(found);
            lookup->finished = true;
            lookup->done.notify_all();
        }).detach();
    } catch (const std::system_error&) {
        reason = host + ": no thread for the name lookup";
        return false;
    }
    std::unique_lock<std::mutex> lock(lookup->mutex);
    if (!lookup->done.wait_for(lock, std::chrono::milliseconds(waitMs),
                               [&] { return lookup->finished; })) {
        reason = host + ": name resolution took longer than " + std::to_string(waitMs) + " ms";
        return false;
    }
    rc = lookup->rc;
    if (rc != 0) {
        reason = host + ": " + ResolveErrorText(rc);
        return false;
    }
    addresses = std::move(lookup->addresses);
    return true;
}
