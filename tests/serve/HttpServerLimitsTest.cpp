// The server's own refusals over real loopback sockets: a client that sends
// its header a byte at a time, a flood of connections, a huge header, a
// malformed request line, a body over the limit. Each is refused without
// holding up the good requests around it.
#include <gtest/gtest.h>
#include <sys/resource.h>

#include <atomic>
#include <memory>
#include <thread>
#include <vector>

#include "HttpTestClient.h"
#include "serve/HttpServer.h"

namespace {

class HttpServerLimits : public ::testing::Test {
protected:
    void SetUp() override {
        app_.handler = [this](HttpRequest r, std::function<void(HttpResponse)> respond) {
            if (r.path == "/slow") {
                sawSlow_ = true;
            }
            respond(TextResponse(200, "ok"));
        };
    }
    void Serve(HttpLimits limits = {}) {
        server_ = std::make_unique<HttpServer>(app_, limits);
        std::string why;
        ASSERT_TRUE(server_->Listen("127.0.0.1", 0, &why)) << why;
        server_->Start(2);
        port_ = server_->Port();
    }
    // One request on a new connection, read to the server's close.
    std::string Exchange(const std::string& bytes) {
        TestSocket s(port_);
        s.Send(bytes);
        return s.ReadToEnd();
    }
    std::string GoodGet() { return Exchange("GET / HTTP/1.1\r\nHost: h\r\nConnection: close\r\n\r\n"); }

    TestApp app_;
    std::unique_ptr<HttpServer> server_;
    int port_ = 0;
    std::atomic<bool> sawSlow_{false};
};

TEST_F(HttpServerLimits, SlowHeaderIsCutOffWhileAGoodRequestIsAnswered) {
    HttpLimits limits;
    limits.headerDeadlineMs = 300;
    Serve(limits);
    const std::string request = "GET /slow HTTP/1.1\r\nHost: h\r\n\r\n";
    std::size_t sent = 0;
    bool closed = false;
    std::atomic<bool> started{false};
    std::thread slow([&] {
        TestSocket s(port_);
        started = true;
        for (; sent < request.size() && !closed; ++sent) {
            closed = !s.Send(request.substr(sent, 1));
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
            closed = closed || s.ClosedByServer();
        }
    });
    ASSERT_TRUE(Eventually([&] { return started.load(); }));
    EXPECT_EQ(StatusOf(GoodGet()), 200);
    slow.join();
    EXPECT_TRUE(closed);
    EXPECT_LT(sent, request.size());
    EXPECT_FALSE(sawSlow_);
    EXPECT_EQ(server_->Refused(), 1u);
}

TEST_F(HttpServerLimits, ConnectionsBeyondTheLimitAreClosedAtOnce) {
    rlimit files{};
    getrlimit(RLIMIT_NOFILE, &files);
    files.rlim_cur = std::min<rlim_t>(files.rlim_max, 4096);
    setrlimit(RLIMIT_NOFILE, &files);
    if (files.rlim_cur < 2200) {
        GTEST_SKIP() << "no room for 1000 connections (RLIMIT_NOFILE " << files.rlim_max << ")";
    }
    HttpLimits limits;
    limits.maxConnections = 100;
    limits.maxConnectionsPerClient = 1000;
    Serve(limits);
    std::vector<std::unique_ptr<TestSocket>> flood;
    for (int i = 0; i < 1000; ++i) {
        flood.push_back(std::make_unique<TestSocket>(port_));
    }
    ASSERT_TRUE(Eventually([&] { return server_->Refused() >= 900; }));
    EXPECT_EQ(server_->Refused(), 900u);
    flood.clear();
    // The held connections close as their clients go; then a request is answered.
    EXPECT_TRUE(Eventually([&] { return StatusOf(GoodGet()) == 200; }));
}

// One client holding its share leaves room for the others: a scraper from
// another address is served while the flood's connections are held.
TEST_F(HttpServerLimits, OneClientCannotHoldEveryConnection) {
    HttpLimits limits;
    limits.maxConnectionsPerClient = 50;
    Serve(limits);
    std::vector<std::unique_ptr<TestSocket>> flood;
    for (int i = 0; i < 200; ++i) {
        flood.push_back(std::make_unique<TestSocket>(port_, 0, "127.0.0.3"));
    }
    ASSERT_TRUE(Eventually([&] { return server_->Refused() >= 150; }));
    EXPECT_EQ(server_->Refused(), 150u);
    TestSocket other(port_, 0, "127.0.0.2");
    ASSERT_TRUE(other.Send("GET / HTTP/1.1\r\nHost: h\r\nConnection: close\r\n\r\n"));
    EXPECT_EQ(StatusOf(other.ReadToEnd()), 200);
}

TEST_F(HttpServerLimits, OversizeAndMalformedRequestsAreRefusedAndClosed) {
    Serve();
    const std::string big(5000, 'b');
    const struct {
        std::string bytes;
        int status;
    } cases[] = {
        {"GET / HTTP/1.1\r\nHost: h\r\nX: " + std::string(1 << 20, 'a') + "\r\n\r\n", 431},
        {"GET / HTTP/1.1 and more\r\nHost: h\r\n\r\n", 400},
        {"GET /../etc/passwd HTTP/1.1\r\nHost: h\r\n\r\n", 400},
        {"POST / HTTP/1.1\r\nHost: h\r\nContent-Length: 5000\r\n\r\n" + big, 413},
        {"POST / HTTP/1.1\r\nHost: h\r\nTransfer-Encoding: chunked\r\n\r\n1388\r\n" + big, 413},
    };
    std::size_t refused = 0;
    for (const auto& c : cases) {
        const std::string answer = Exchange(c.bytes);
        EXPECT_EQ(StatusOf(answer), c.status) << c.bytes.substr(0, 40);
        EXPECT_NE(answer.find("Connection: close\r\n"), std::string::npos);
        EXPECT_EQ(server_->Refused(), ++refused);
    }
    // A body at the limit passes, with the client waiting for 100 Continue.
    TestSocket s(port_);
    s.Send("POST / HTTP/1.1\r\nHost: h\r\nExpect: 100-continue\r\nContent-Length: 4096\r\n\r\n");
    EXPECT_EQ(s.ReadResponse(), "HTTP/1.1 100 Continue\r\n\r\n");
    s.Send(std::string(4096, 'c'));
    EXPECT_EQ(StatusOf(s.ReadResponse()), 200);
}

}  // namespace
