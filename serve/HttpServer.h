// k40ctl's HTTP/1.1 server: Boost.Beast on Boost.Asio, on threads of its own.
// It parses and bounds every request (header size and deadline, body size,
// connection count) before the application sees it, answers what is malformed
// itself with a 4xx, and writes whole or streamed answers. It never touches
// the link: the application reaches the poller through queues.
#pragma once

#include <cstddef>
#include <memory>
#include <string>

#include "serve/Http.h"

struct HttpLimits {
    std::size_t maxHeaderBytes = 8 * 1024;  // request line and fields: 431 beyond
    std::size_t maxBodyBytes = 4 * 1024;    // 413 beyond
    int headerDeadlineMs = 10000;  // the whole header must arrive within it (slow clients)
    // A kept-alive connection without a request is closed, as a silent one.
    int idleMs = 10000;
    std::size_t maxConnections = 512;  // more are accepted and closed at once
    // From one client address (IPv6: one /64, which one host may hold all
    // of): one client holding every connection open would shut out the
    // others (Prometheus among them) until the header deadline.
    std::size_t maxConnectionsPerClient = 128;
    // A streamed answer whose client reads too slowly is ended once this much
    // is waiting to be written to it.
    std::size_t maxPendingStreamBytes = 1024 * 1024;
    // ... and once all clients together hold this much waiting, a stream
    // that is behind is ended as well: 500 slow clients must not hold 500 MiB.
    std::size_t maxPendingStreamTotal = 16 * 1024 * 1024;
};

class HttpServer {
public:
    HttpServer(HttpApp& app, HttpLimits limits = {});
    ~HttpServer();  // stops
    HttpServer(const HttpServer&) = delete;
    HttpServer& operator=(const HttpServer&) = delete;

    // Binds and listens on host, an IP address ("127.0.0.1", "::1", "0.0.0.0",
    // "::", which also takes IPv4 where the system allows) and port (0: any
    // free one). False with the reason ("127.0.0.1:9040: address already in
    // use", "[::1]:9040: ..."). Call before Start.
    bool Listen(const std::string& host, int port, std::string* why);
    // The port listened on (the one chosen for port 0).
    int Port() const;
    // Serves on `threads` threads of its own until Stop.
    void Start(int threads = 2);
    // Closes the listener and every connection (streams get Closed) and joins
    // the threads. Safe to call twice and from any thread but the server's own
    // (from within HttpApp::Handle or a ChunkSource it would wait for itself).
    void Stop();

    // Requests refused by the server itself (malformed, too large, header not
    // complete in time, connections beyond the limit), for the exporter's own
    // metrics. A stream ended for a slow reader is not counted (it is logged).
    std::size_t Refused() const;

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};
