// Server-Sent Events for /api/v1/events: the poller's thread publishes each
// event once, into one queue; the hub's own thread copies it into every
// client's queue, so that a hundred clients cost the poller no more than one.
// A client whose queue grows beyond the bound reads too slowly: its stream
// ends, so that it can neither slow the poller nor grow memory without bound;
// and once all queues together hold more than their total bound, a client
// that is behind (its queue not empty) is ended too: 500 slow clients must
// not hold 500 MiB.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "serve/Http.h"

class EventHub {
public:
    explicit EventHub(std::size_t maxQueuedBytes = 1024 * 1024,
                      std::size_t maxQueuedTotal = 8 * 1024 * 1024);
    ~EventHub();  // ends the hub's thread; events not yet handed on are dropped
    EventHub(const EventHub&) = delete;
    EventHub& operator=(const EventHub&) = delete;

    // A new client's stream; it starts with the reconnection delay for the
    // browser's EventSource.
    std::shared_ptr<ChunkSource> Subscribe();
    // "event: NAME\ndata: DATA\n\n" to every client (data is one line of JSON).
    void Publish(const std::string& name, const std::string& data);
    // A comment line that keeps idle connections (and proxies) open.
    void KeepAlive();

private:
    class Stream;
    void Queue(std::string text);
    void Work();
    void Send(const std::string& text);

    const std::size_t max_, maxTotal_;
    // Bytes in all clients' queues; shared with the streams, which may
    // outlive the hub.
    std::shared_ptr<std::atomic<std::size_t>> queued_;
    std::mutex mutex_;
    std::vector<std::weak_ptr<Stream>> streams_;

    // Events published and not yet handed to the clients, at most
    // kMostWaiting bytes (beyond it, the hub's thread cannot keep up and new
    // events are left out).
    static constexpr std::size_t kMostWaiting = 8 * 1024 * 1024;
    std::mutex waitingMutex_;
    std::condition_variable waitingCond_;
    std::deque<std::string> waiting_;
    std::size_t waitingBytes_ = 0;
    bool stop_ = false;
    std::thread worker_;
};
