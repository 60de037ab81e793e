// What the HTTP server and its connections share: the application, the
// limits, the counts, and the registry of open connections, each held by the
// function that closes it. No Asio here: the io_context is added on top of
// it where connections are made (HttpConnection.h), so this file compiles
// fast and the registry reads without the network's types.
#pragma once

#include <atomic>
#include <cstddef>
#include <functional>
#include <mutex>
#include <string>
#include <unordered_map>

#include "serve/HttpServer.h"
#include "serve/ServeLog.h"

class ServerCore {
public:
    using CloseFn = std::function<void()>;

    ServerCore(HttpApp& application, const HttpLimits& lim) : app(application), limits(lim) {}

    HttpApp& app;
    const HttpLimits limits;
    std::atomic<std::size_t> refused{0};
    std::atomic<std::size_t> open{0};
    std::atomic<std::size_t> pending{0};  // bytes queued for writing, all connections

    // Calls post (which hands work to the server's threads) unless the server
    // has stopped for good: then nothing runs its handlers any more. False
    // when it was not called.
    bool IfRunning(const std::function<void()>& post);
    // A connection, by a key of its own and the function that closes it (from
    // any thread). False once CloseAll has run: the connection is to close at
    // once.
    bool Register(const void* key, CloseFn close);
    void Unregister(const void* key);
    // Closes every connection and any registered later.
    void CloseAll();
    // After the server's threads are joined: nothing more is posted.
    void SetStopped();
    // Counts a connection of the client; false (nothing counted) when the
    // client holds as many as it may.
    bool AdmitClient(const std::string& client);
    void ReleaseClient(const std::string& client);

private:
    std::mutex mutex_;
    bool closing_ = false, stopped_ = false;
    std::unordered_map<const void*, CloseFn> connections_;
    std::unordered_map<std::string, std::size_t> byClient_;
};
