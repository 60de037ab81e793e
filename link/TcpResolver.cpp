#include "link/TcpResolver.h"

#include <chrono>
#include <condition_variable>
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

}  // namespace

bool ResolveTcp(const std::string& host, std::uint16_t port, std::uint32_t waitMs,
                std::vector<ResolvedAddress>& addresses, std::string& reason) {
    // An address in digits needs no name server: answered at once.
    int rc = LookUpTcp(host, port, true, addresses);
    if (rc == 0) {
        return true;
    }
    if (rc != kNoSuchName) {
        reason = host + ": " + ResolveErrorText(rc);
        return false;
    }
    auto lookup = std::make_shared<Lookup>();
    try {
        std::thread([lookup, host, port] {
            std::vector<ResolvedAddress> found;
            const int r = LookUpTcp(host, port, false, found);
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
