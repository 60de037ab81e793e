// One client connection of HttpServer (internal: only HttpServer.cpp and
// HttpConnection.cpp include it). Everything a connection does runs on its own
// strand; the application's answer and a stream's wake come from any thread
// and are posted there.
#pragma once

#include <array>
#include <atomic>
#include <boost/asio.hpp>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <unordered_map>
#include <vector>

#include "serve/HttpParse.h"
#include "serve/HttpServer.h"
#include "serve/ServerCore.h"

// The server's io_context on top of what it shares with its connections;
// connections keep it (and with it the io_context their sockets belong to)
// alive as long as any of them lives, so an answer that comes after the
// server is gone touches nothing freed. The io_context is destroyed first,
// with the handlers it still holds, while the registry is still there.
struct ServerContext : ServerCore {
    ServerContext(HttpApp& application, const HttpLimits& lim) : ServerCore(application, lim) {}

    boost::asio::io_context io;

    // Runs fn on the executor unless the server has stopped for good (then
    // nothing runs its io_context any more and the handler would never run).
    template <class Executor, class Fn>
    bool Post(const Executor& executor, Fn&& fn) {
        return IfRunning([&] { boost::asio::post(executor, std::forward<Fn>(fn)); });
    }
};

class HttpConnection : public std::enable_shared_from_this<HttpConnection> {
public:
    HttpConnection(std::shared_ptr<ServerContext> core, boost::asio::ip::tcp::socket socket);
    ~HttpConnection();
    // Registers the connection and reads its first request.
    void Start();
    // Closes the socket; a stream in progress gets Closed(). On the strand.
    void Close();
    // Close, from any thread.
    void PostClose();
    // From any thread: the application's answer, posted to the strand.
    void PostAnswer(HttpResponse response);

private:
    enum class Timer { Idle, Header, Write, Linger, Rest };

    void ReadRequest();
    void Read();
    void Parse();
    void Dispatch();
    void Answer(HttpResponse response);
    void StartStream(HttpResponse response);
    void Wake();
    void Pull(bool woken);
    void Send(std::string bytes);
    void WriteNext();
    void AfterWrites();
    void Refuse(int status, const std::string& why);
    void Linger();
    void Drain();
    void Arm(Timer kind, int ms);

    std::shared_ptr<ServerContext> core_;
    boost::asio::ip::tcp::socket socket_;
    boost::asio::steady_timer timer_;
    unsigned timerGeneration_ = 0;
    std::string local_, remote_;
    std::string client_;  // what the per-client limit counts: remote_, an IPv6 /64
    int localPort_ = 0;

    std::array<char, 16 * 1024> chunk_{};
    std::string inbuf_;  // received, not yet parsed
    std::unique_ptr<HttpRequestReader> reader_;
    bool firstRequest_ = true;
    bool continueSent_ = false;
    bool idle_ = false;      // waiting for the first byte of a kept-alive request
    bool keepAlive_ = false;
    bool head_ = false;
    bool refusing_ = false;  // answering a refusal, then lingering and closing

    std::deque<std::string> out_;
    std::size_t pendingBytes_ = 0;
    bool writing_ = false;
    bool answered_ = false;  // the whole answer is queued
    std::size_t drained_ = 0;

    std::shared_ptr<ChunkSource> stream_;
    std::chrono::steady_clock::time_point restUntil_;  // pull a stream again not before
    std::atomic<bool> wakePending_{false};
    std::atomic<bool> closed_{false};
    bool admitted_ = false;  // counted against its client address
};
