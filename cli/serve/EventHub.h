// Server-Sent Events for /api/v1/events: the poller's thread publishes each
// event once, and every client's stream gets a copy in a queue of its own. A
// client whose queue grows beyond the bound reads too slowly: its stream ends,
// so that it can neither slow the poller nor grow memory without bound.
#pragma once

#include <cstddef>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "cli/serve/Http.h"

class EventHub {
public:
    explicit EventHub(std::size_t maxQueuedBytes = 1024 * 1024) : max_(maxQueuedBytes) {}

    // A new client's stream; it starts with the reconnection delay for the
    // browser's EventSource.
    std::shared_ptr<ChunkSource> Subscribe();
    // "event: NAME\ndata: DATA\n\n" to every client (data is one line of JSON).
    void Publish(const std::string& name, const std::string& data);
    // A comment line that keeps idle connections (and proxies) open.
    void KeepAlive();
    std::size_t Clients();
    std::size_t Dropped();  // clients ended for reading too slowly

private:
    class Stream;
    void Send(const std::string& text);

    const std::size_t max_;
    std::mutex mutex_;
    std::vector<std::weak_ptr<Stream>> streams_;
    std::size_t dropped_ = 0;
};
