// The server over real loopback sockets with a tiny application: answers at
// once and later from another thread, streamed answers (read by Python's
// http.client, an independent HTTP client), wakes that come after the client
// or the server is gone, and the listener's own errors.
#include "serve/HttpServer.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <deque>
#include <mutex>
#include <thread>

#include "HttpTestClient.h"

namespace {

// Chunks queued by the test; Later while the queue is empty.
class QueueSource : public ChunkSource {
public:
    Pull Next(std::string* chunk) override {
        std::lock_guard<std::mutex> lock(mutex_);
        ++pulls;
        if (queue_.empty()) {
            return ended_ ? Pull::End : Pull::Later;
        }
        *chunk = std::move(queue_.front());
        queue_.pop_front();
        return Pull::Chunk;
    }
    void OnReady(std::function<void()> wake) override {
        std::lock_guard<std::mutex> lock(mutex_);
        wake_ = std::move(wake);
    }
    void Closed() override { closed = true; }
    void Push(std::string chunk, bool end = false) {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            queue_.push_back(std::move(chunk));
            ended_ = ended_ || end;
        }
        Wake()();
    }
    std::function<void()> Wake() {
        std::lock_guard<std::mutex> lock(mutex_);
        return wake_ ? wake_ : [] {};
    }
    std::atomic<bool> closed{false};
    std::atomic<int> pulls{0};

private:
    std::mutex mutex_;
    std::deque<std::string> queue_;
    bool ended_ = false;
    std::function<void()> wake_;
};

class HttpServerTest : public ::testing::Test {
protected:
    void Serve(HttpLimits limits = {}) {
        server_ = std::make_unique<HttpServer>(app_, limits);
        std::string why;
        ASSERT_TRUE(server_->Listen("127.0.0.1", 0, &why)) << why;
        server_->Start(2);
        port_ = server_->Port();
    }
    std::string Get(const std::string& target) {
        TestSocket s(port_);
        s.Send("GET " + target + " HTTP/1.1\r\nHost: h\r\nConnection: close\r\n\r\n");
        return s.ReadToEnd();
    }
    TestApp app_;
    std::unique_ptr<HttpServer> server_;
    int port_ = 0;
};

TEST_F(HttpServerTest, AnswersKeptAliveRequestsAndHead) {
    std::mutex mutex;
    std::vector<HttpRequest> seen;
    app_.handler = [&](HttpRequest r, std::function<void(HttpResponse)> respond) {
        HttpResponse response = TextResponse(200, "hello " + r.path);
        response.headers.emplace_back("X-Test", "1");
        std::lock_guard<std::mutex> lock(mutex);
        seen.push_back(std::move(r));
        respond(std::move(response));
    };
    Serve();
    TestSocket s(port_);
    s.Send("GET /a%20b?x=1&y=%2F HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n");
    const std::string first = s.ReadResponse();
    EXPECT_EQ(StatusOf(first), 200);
    EXPECT_EQ(BodyOf(first), "hello /a b\n");
    for (const char* field : {"Cache-Control: no-store\r\n", "X-Content-Type-Options: nosniff\r\n",
                              "X-Test: 1\r\n", "Content-Length: 11\r\n"}) {
        EXPECT_NE(first.find(field), std::string::npos) << field;
    }
    // The same connection again, then HEAD: the GET's head without its body.
    s.Send("GET /second HTTP/1.1\r\nHost: h\r\n\r\n");
    EXPECT_EQ(BodyOf(s.ReadResponse()), "hello /second\n");
    s.Send("HEAD /h HTTP/1.1\r\nHost: h\r\nConnection: close\r\n\r\n");
    const std::string head = s.ReadToEnd();
    EXPECT_EQ(StatusOf(head), 200);
    EXPECT_NE(head.find("Content-Length: 9\r\n"), std::string::npos);
    EXPECT_EQ(BodyOf(head), "");

    std::lock_guard<std::mutex> lock(mutex);
    ASSERT_EQ(seen.size(), 3u);
    EXPECT_EQ(seen[0].localAddress, "127.0.0.1");
    EXPECT_EQ(seen[0].remoteAddress, "127.0.0.1");
    EXPECT_EQ(seen[0].localPort, port_);
    EXPECT_EQ(seen[0].query, (std::multimap<std::string, std::string>{{"x", "1"}, {"y", "/"}}));
    EXPECT_EQ(seen[2].method, "GET");
    EXPECT_EQ(server_->Refused(), 0u);
}

TEST_F(HttpServerTest, AnswersLaterFromAnotherThreadWhileServingOthers) {
    std::mutex mutex;
    std::function<void(HttpResponse)> held;
    app_.handler = [&](HttpRequest r, std::function<void(HttpResponse)> respond) {
        if (r.path == "/wait") {
            std::lock_guard<std::mutex> lock(mutex);
            held = std::move(respond);
        } else if (r.path == "/now") {
            respond(TextResponse(200, "now"));
        }  // "/drop": never answered; the server answers 500 for it
    };
    Serve();
    TestSocket waiting(port_);
    waiting.Send("GET /wait HTTP/1.1\r\nHost: h\r\n\r\n");
    ASSERT_TRUE(Eventually([&] {
        std::lock_guard<std::mutex> lock(mutex);
        return held != nullptr;
    }));
    EXPECT_EQ(BodyOf(Get("/now")), "now\n");
    EXPECT_EQ(StatusOf(Get("/drop")), 500);
    std::thread([&] {
        std::lock_guard<std::mutex> lock(mutex);
        held(TextResponse(202, "later"));
        held(TextResponse(200, "twice"));  // a second answer is ignored
    }).join();
    const std::string later = waiting.ReadResponse();
    EXPECT_EQ(StatusOf(later), 202);
    EXPECT_EQ(BodyOf(later), "later\n");
}

TEST_F(HttpServerTest, StreamsChunksAsTheyComeUntilTheEnd) {
    auto source = std::make_shared<QueueSource>();
    source->Push("data: a\n\n");
    app_.handler = [&](HttpRequest, std::function<void(HttpResponse)> respond) {
        HttpResponse response;
        response.contentType = "text/event-stream";
        response.stream = source;
        respond(std::move(response));
    };
    Serve();
    std::string output;
    std::thread client([&] {
        const std::string script =
            "import http.client,sys\n"
            "c=http.client.HTTPConnection('127.0.0.1'," + std::to_string(port_) + ",timeout=10)\n"
            "c.request('GET','/events')\nr=c.getresponse()\n"
            "sys.stdout.write('%d %s %s|' % (r.status, r.getheader('Transfer-Encoding'),"
            " r.getheader('Content-Type')) + r.read().decode())\n";
        FILE* p = popen((std::string(K40_PYTHON3) + " -c \"" + script + "\"").c_str(), "r");
        char buffer[256];
        while (p && std::fgets(buffer, sizeof buffer, p)) {
            output += buffer;
        }
        if (p) {
            pclose(p);
        }
    });
    // The first chunk went out and the source said Later; more comes on a wake.
    ASSERT_TRUE(Eventually([&] { return source->pulls >= 2; }));
    std::thread([&] { source->Push("data: b\n\n", true); }).join();
    client.join();
    EXPECT_EQ(output, "200 chunked text/event-stream|data: a\n\ndata: b\n\n");
    EXPECT_FALSE(source->closed);  // it ended; the connection was not lost under it
}

TEST_F(HttpServerTest, WakesAfterTheClientAndTheServerAreGoneAreHarmless) {
    auto source = std::make_shared<QueueSource>();
    app_.handler = [&](HttpRequest, std::function<void(HttpResponse)> respond) {
        HttpResponse response;
        response.stream = source;
        respond(std::move(response));
    };
    Serve();
    {
        TestSocket s(port_);
        s.Send("GET /events HTTP/1.1\r\nHost: h\r\n\r\n");
        ASSERT_TRUE(Eventually([&] { return source->pulls >= 1; }));
    }
    ASSERT_TRUE(Eventually([&] { return source->closed.load(); }));
    const std::function<void()> wake = source->Wake();
    std::thread other([&] {
        for (int i = 0; i < 1000; ++i) {
            wake();
        }
    });
    for (int i = 0; i < 1000; ++i) {
        wake();
    }
    other.join();
    app_.handler = [](HttpRequest, std::function<void(HttpResponse)> respond) {
        respond(TextResponse(200, "still here"));
    };
    EXPECT_EQ(BodyOf(Get("/")), "still here\n");
    server_->Stop();
    server_->Stop();
    server_.reset();
    wake();
}

TEST_F(HttpServerTest, SlowStreamReaderIsDroppedWhileOthersAreServed) {
    HttpLimits limits;
    limits.maxPendingStreamBytes = 256 * 1024;
    auto source = std::make_shared<QueueSource>();
    app_.handler = [&](HttpRequest r, std::function<void(HttpResponse)> respond) {
        HttpResponse response = TextResponse(200, "fast");
        if (r.path == "/events") {
            response.stream = source;
        }
        respond(std::move(response));
    };
    Serve(limits);
    TestSocket slow(port_, 4096);  // never reads
    slow.Send("GET /events HTTP/1.1\r\nHost: h\r\n\r\n");
    ASSERT_TRUE(Eventually([&] { return source->pulls >= 1; }));
    const std::string piece(64 * 1024, 'x');
    // Less than the limit: the stream stays while another client is served.
    source->Push(piece);
    source->Push(piece);
    const bool servedMeanwhile = BodyOf(Get("/fast")) == "fast\n";
    EXPECT_FALSE(source->closed);
    for (std::size_t pushed = 0; !source->closed && pushed < (256u << 20); pushed += piece.size()) {
        source->Push(piece);
    }
    EXPECT_TRUE(source->closed);
    EXPECT_TRUE(servedMeanwhile);
    EXPECT_EQ(BodyOf(Get("/fast")), "fast\n");
}

// Slow readers together are bounded too: each below its own limit, they are
// ended once all of them hold more than the total.
TEST_F(HttpServerTest, SlowStreamReadersTogetherAreBounded) {
    HttpLimits limits;
    limits.maxPendingStreamBytes = 64u << 20;
    limits.maxPendingStreamTotal = 1u << 20;
    const std::shared_ptr<QueueSource> sources[] = {std::make_shared<QueueSource>(),
                                                     std::make_shared<QueueSource>()};
    std::atomic<int> next{0};
    app_.handler = [&](HttpRequest, std::function<void(HttpResponse)> respond) {
        HttpResponse response = TextResponse(200, "");
        response.stream = sources[next++ % 2];
        respond(std::move(response));
    };
    Serve(limits);
    TestSocket a(port_, 4096), b(port_, 4096);  // never read
    a.Send("GET /events HTTP/1.1\r\nHost: h\r\n\r\n");
    ASSERT_TRUE(Eventually([&] { return sources[0]->pulls >= 1; }));
    b.Send("GET /events HTTP/1.1\r\nHost: h\r\n\r\n");
    ASSERT_TRUE(Eventually([&] { return sources[1]->pulls >= 1; }));
    const std::string piece(64 * 1024, 'x');
    std::size_t pushed = 0;
    for (; !(sources[0]->closed && sources[1]->closed) && pushed < (32u << 20);
         pushed += piece.size()) {
        sources[0]->Push(piece);
        sources[1]->Push(piece);
    }
    EXPECT_TRUE(sources[0]->closed && sources[1]->closed) << pushed;
}

TEST_F(HttpServerTest, ListenErrorsNameTheAddress) {
    Serve();
    TestApp other;
    HttpServer second(other);
    std::string why;
    EXPECT_FALSE(second.Listen("127.0.0.1", port_, &why));
    EXPECT_EQ(why, "127.0.0.1:" + std::to_string(port_) + ": address already in use");
    EXPECT_FALSE(second.Listen("localhost", 0, &why));
    EXPECT_EQ(why, "localhost:0: not an IP address and port");
    HttpServer v6(other);
    if (v6.Listen("::1", 0, &why)) {  // where the machine has IPv6 loopback
        EXPECT_GT(v6.Port(), 0);
    }
}

}  // namespace
