// What k40ctl's HTTP server asks of the application behind it, and what it
// gives: requests already parsed and bounded by the server (Boost.Beast), and
// answers that are either whole or written in pieces as they are made (the
// history, the event stream). The server knows nothing of the unit; the
// routes (ServeApp.h) know nothing of sockets.
#pragma once

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

struct HttpRequest {
    std::string method;  // "GET", "POST", ...
    std::string target;  // as sent: "/api/v1/history?since=2026-12-08T10:00:00Z"
    std::string path;    // the target before '?', percent-decoded: "/api/v1/history"
    std::multimap<std::string, std::string> query;  // decoded names and values
    // Header fields (empty when absent); names compared without case by the server.
    std::string host, origin, authorization, contentType, accept;
    std::string scrapeTimeout;  // X-Prometheus-Scrape-Timeout-Seconds
    // What a browser says of the page that made the request: Sec-Fetch-Site
    // ("same-origin", "same-site", "cross-site", "none"), -Mode ("navigate",
    // "cors", "no-cors", ...) and -Dest ("document", "image", ...).
    std::string fetchSite, fetchMode, fetchDest;
    std::string body;
    // The address the client connected to (the server's own, as IP text:
    // "127.0.0.1", "::1", "192.0.2.7") and the client's; with the port apart.
    std::string localAddress, remoteAddress;
    int localPort = 0;
};

// An answer written in pieces (chunked transfer encoding): the history, and
// the Server-Sent Events of /api/v1/events.
class ChunkSource {
public:
    enum class Pull { Chunk, Later, End };
    virtual ~ChunkSource() = default;
    // Never blocks. Chunk: *chunk holds the next piece (not empty). Later:
    // nothing now; the server waits for the wake function given to OnReady.
    // End: the answer is complete (or the source gave up on a slow client).
    // Without a wake the server pulls only as the client takes what was sent
    // (an answer made on demand, as the history); after a wake it pulls until
    // Later, and ends the stream (Closed) of a client that lets more than
    // HttpLimits::maxPendingStreamBytes pile up (pushed events).
    virtual Pull Next(std::string* chunk) = 0;
    // Called once, before the first Next, with a function that any thread may
    // call (any number of times, also after the connection or the server is
    // gone) to say that Next has something again.
    virtual void OnReady(std::function<void()> wake) { (void)wake; }
    // The connection is gone (client closed, write failed, server stopping).
    virtual void Closed() {}
};

struct HttpResponse {
    int status = 200;
    std::string contentType = "text/plain; charset=utf-8";
    std::string body;  // ignored when stream is set
    std::vector<std::pair<std::string, std::string>> headers;  // more fields
    std::shared_ptr<ChunkSource> stream;                       // a streamed answer
};

// The application: called on a server thread for each complete request. It
// answers through respond exactly once, at once or later from any thread
// (a command waits for the poller, a probe for its target); it must not block.
// A second answer is ignored; a respond dropped without an answer gets a 500.
// HEAD comes as "GET" and is answered without the body (a stream: its head).
class HttpApp {
public:
    virtual ~HttpApp() = default;
    virtual void Handle(HttpRequest request, std::function<void(HttpResponse)> respond) = 0;
};

// A plain-text answer: "404 not found\n" style bodies for the 4xx answers.
HttpResponse TextResponse(int status, const std::string& text);
