// A plain POSIX socket client for the server tests, so that the server is
// checked against bytes it did not write itself, and a tiny application.
#pragma once

#include <chrono>
#include <functional>
#include <string>

#include "serve/Http.h"

// Polls cond every 5 ms for up to 10 s.
bool Eventually(const std::function<bool()>& cond);

class TestSocket {
public:
    // Connects to 127.0.0.1:port; receiveBuffer > 0 sets SO_RCVBUF first;
    // from: the client's own loopback address ("127.0.0.2"), else the system's.
    explicit TestSocket(int port, int receiveBuffer = 0, const char* from = nullptr);
    ~TestSocket();
    TestSocket(const TestSocket&) = delete;
    TestSocket& operator=(const TestSocket&) = delete;
    bool Connected() const { return fd_ >= 0; }
    // Sends all (false when the server closed or reset the connection).
    bool Send(const std::string& bytes);
    // One response: the head and a Content-Length body ("" on time-out or close).
    std::string ReadResponse();
    // Everything until the server closes (at most 10 s).
    std::string ReadToEnd();
    // The server closed the connection: a read gives end of file or a reset.
    bool ClosedByServer();
    void Close();

private:
    int fd_ = -1;
    std::string buffer_;
};

// "HTTP/1.1 200 OK\r\n..." -> 200; the body after the head.
int StatusOf(const std::string& response);
std::string BodyOf(const std::string& response);

class TestApp : public HttpApp {
public:
    std::function<void(HttpRequest, std::function<void(HttpResponse)>)> handler;
    void Handle(HttpRequest request, std::function<void(HttpResponse)> respond) override {
        handler(std::move(request), std::move(respond));
    }
};
