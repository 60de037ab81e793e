// The request parser on whole requests in bytes: what it takes and how it
// fills the request, and what it answers itself with a 4xx before any route
// sees the request (path tricks, bad encodings, oversize).
#include "serve/HttpParse.h"

#include <gtest/gtest.h>

#include <string>

namespace {

std::string Get(const std::string& target, const std::string& fields = "Host: h\r\n") {
    return "GET " + target + " HTTP/1.1\r\n" + fields + "\r\n";
}

TEST(HttpParse, FillsTheRequestFromAGoodOne) {
    const std::string bytes =
        "POST /api/v1/command?name=reset%20alarms&x=a+b&flag HTTP/1.1\r\n"
        "host: 127.0.0.1:9040\r\nOrigin: http://localhost:9040\r\n"
        "AUTHORIZATION: Bearer abc\r\nContent-Type: application/json\r\n"
        "Accept: text/plain\r\nAccept: application/json\r\n"
        "X-Prometheus-Scrape-Timeout-Seconds: 10\r\nContent-Length: 7\r\n\r\n{\"a\":1}";
    HttpRequest r;
    std::string why;
    ASSERT_EQ(ParseHttpRequest(bytes, {}, &r, &why), 0) << why;
    EXPECT_EQ(r.method, "POST");
    EXPECT_EQ(r.target, "/api/v1/command?name=reset%20alarms&x=a+b&flag");
    EXPECT_EQ(r.path, "/api/v1/command");
    const std::multimap<std::string, std::string> query = {
        {"name", "reset alarms"}, {"x", "a b"}, {"flag", ""}};
    EXPECT_EQ(r.query, query);
    EXPECT_EQ(r.host, "127.0.0.1:9040");
    EXPECT_EQ(r.origin, "http://localhost:9040");
    EXPECT_EQ(r.authorization, "Bearer abc");
    EXPECT_EQ(r.contentType, "application/json");
    EXPECT_EQ(r.accept, "text/plain, application/json");
    EXPECT_EQ(r.scrapeTimeout, "10");
    EXPECT_EQ(r.body, "{\"a\":1}");
}

TEST(HttpParse, ChunkedBodyIsJoined) {
    HttpRequest r;
    std::string why;
    ASSERT_EQ(ParseHttpRequest("POST /c HTTP/1.1\r\nHost: h\r\nTransfer-Encoding: chunked\r\n\r\n"
                               "3\r\nabc\r\n2\r\nde\r\n0\r\n\r\n",
                               {}, &r, &why),
              0)
        << why;
    EXPECT_EQ(r.body, "abcde");
}

TEST(HttpParse, RefusesWhatNoRouteMaySee) {
    const std::string big(5000, 'x');
    const struct {
        std::string bytes;
        int status;
    } cases[] = {
        {Get("/metrics"), 0},
        {Get("/a%2Fb"), 0},  // an encoded slash alone is only a name
        {Get("/%2e%2e/etc/passwd"), 400},
        {Get("/api/../etc"), 400},
        {Get("/api/%2E%2E/x"), 400},
        {Get("/api//x"), 400},
        {Get("/api/%2F/x"), 400},
        {Get("/api%00x"), 400},
        {Get("/api%5cx"), 400},
        {Get("/api%0ax"), 400},
        {Get("/api%zz"), 400},
        {Get("/api%4"), 400},
        {Get("/api?x=%g1"), 400},
        {Get("/api?x=%"), 400},
        {Get("*"), 400},
        {Get("http://example.com/metrics"), 400},
        {"GET /metrics HTTP/1.1\r\n\r\n", 400},                       // no Host
        {"GET /metrics HTTP/1.0\r\n\r\n", 0},                         // 1.0 needs none
        {Get("/m", "Host: a\r\nHost: b\r\n"), 400},                   // two Hosts
        {Get("/m", "Host: a\r\nAuthorization: x\r\nAuthorization: y\r\n"), 400},
        {"GET /metrics\r\nHost: h\r\n\r\n", 400},                     // no version
        {"GET /metrics HTTP/2.0\r\nHost: h\r\n\r\n", 400},
        {"G@T /metrics HTTP/1.1\r\nHost: h\r\n\r\n", 400},
        {"hello\r\n\r\n", 400},
        {Get("/m", "Host: h\r\nBad Field: x\r\n"), 400},
        {Get("/m", "Host: h\r\nX: a\rb\r\n"), 400},
        {Get("/m"  , "Host: h\r\nContent-Length: 1\r\nContent-Length: 2\r\n"), 400},
        {Get("/m", "Host: h\r\nContent-Length: -1\r\n"), 400},
        {Get("/m", "Host: h\r\nX: " + std::string(9000, 'a') + "\r\n"), 431},
        {Get("/m", "Host: h\r\nContent-Length: 5000\r\n") + big, 413},
        {"POST /m HTTP/1.1\r\nHost: h\r\nTransfer-Encoding: chunked\r\n\r\n1388\r\n" + big +
             "\r\n0\r\n\r\n",
         413},
        {"GET /metrics HTTP/1.1\r\nHost: h\r\n", 400},  // incomplete
        {"", 400},
    };
    for (const auto& c : cases) {
        HttpRequest r;
        std::string why;
        EXPECT_EQ(ParseHttpRequest(c.bytes, {}, &r, &why), c.status) << c.bytes.substr(0, 80);
        EXPECT_EQ(why.empty(), c.status == 0) << why;
    }
}

TEST(HttpParse, ReaderTakesPiecesAndLeavesTheNextRequest) {
    const std::string two = Get("/one") + Get("/two");
    HttpRequestReader reader(HttpLimits{});
    std::string buffer;
    std::size_t used = 0;
    HttpRequestReader::State state = HttpRequestReader::State::NeedMore;
    std::size_t fed = 0;
    while (state == HttpRequestReader::State::NeedMore && fed < two.size()) {
        buffer += two[fed++];  // one byte at a time, as a slow client sends
        state = reader.Feed(buffer, &used);
        buffer.erase(0, used);
    }
    ASSERT_EQ(state, HttpRequestReader::State::Done);
    EXPECT_EQ(reader.Take().path, "/one");
    EXPECT_TRUE(reader.KeepAlive());
    EXPECT_EQ(fed, Get("/one").size());
}

// The limit holds for the whole header, whether it comes in one piece or in many.
TEST(HttpParse, HeaderLimitCountsTheWholeHeaderHoweverItArrives) {
    const HttpLimits limits;
    const auto header = [](std::size_t target, std::size_t total) {
        std::string h = "GET /" + std::string(target, 'a') + " HTTP/1.1\r\nHost: h\r\nX: ";
        return h + std::string(total - h.size() - 4, 'b') + "\r\n\r\n";
    };
    const struct {
        std::string bytes;
        int status;
    } cases[] = {
        {header(100, limits.maxHeaderBytes), 0},
        {header(100, limits.maxHeaderBytes + 1), 431},
        {header(limits.maxHeaderBytes / 2, limits.maxHeaderBytes + 100), 431},  // each part fits
    };
    for (const auto& c : cases) {
        for (const std::size_t piece : {c.bytes.size(), std::size_t{1}, std::size_t{1000}}) {
            HttpRequestReader reader(limits);
            std::string buffer;
            std::size_t used = 0;
            HttpRequestReader::State state = HttpRequestReader::State::NeedMore;
            for (std::size_t at = 0; at < c.bytes.size() && state == HttpRequestReader::State::NeedMore;
                 at += piece) {
                buffer += c.bytes.substr(at, piece);
                state = reader.Feed(buffer, &used);
                buffer.erase(0, used);
            }
            EXPECT_EQ(state == HttpRequestReader::State::Done ? 0 : reader.Status(), c.status)
                << c.bytes.size() << " bytes in pieces of " << piece;
        }
    }
}

// The status of bytes fed as a slow client sends them, piece by piece.
int StatusInPieces(const std::string& bytes, std::size_t piece, HttpRequest* out) {
    HttpRequestReader reader(HttpLimits{});
    std::string buffer;
    std::size_t used = 0;
    for (std::size_t at = 0; at < bytes.size(); at += piece) {
        buffer += bytes.substr(at, piece);
        const HttpRequestReader::State state = reader.Feed(buffer, &used);
        buffer.erase(0, used);
        if (state == HttpRequestReader::State::Done) {
            *out = reader.Take();
            return 0;
        }
        if (state == HttpRequestReader::State::Refused) {
            return reader.Status();
        }
    }
    return -1;
}

// One reading of the framing and of the fields that must come once, whatever
// a second reader of the same bytes (a proxy) would make of them.
TEST(HttpParse, ReadsFramingAndSingleFieldsOneWayOnly) {
    const std::string post = "POST /api/v1/command HTTP/1.1\r\n";
    const std::string chunkedBody = "\r\n2\r\n{}\r\n0\r\n";
    const struct {
        std::string bytes;
        int status;
        std::string contentType;  // as the routes see it, when taken
    } cases[] = {
        {Get("/m", "Host:\r\nHost: 127.0.0.1:9040\r\n"), 400, ""},
        {Get("/m", "Host: h\r\nContent-Type:\r\nContent-Type: application/json\r\n"), 400, ""},
        {Get("/m", "Host: h\r\nOrigin:\r\nOrigin: http://h\r\n"), 400, ""},
        {Get("/m", "Host: h\r\nAuthorization:\r\nAuthorization: Bearer x\r\n"), 400, ""},
        {Get("/m", "Host: h\r\nSec-Fetch-Site: none\r\nsec-fetch-site: none\r\n"), 400, ""},
        {Get("/m", "Host: h\r\nX-Prometheus-Scrape-Timeout-Seconds: 1\r\n"
                   "X-Prometheus-Scrape-Timeout-Seconds: 1\r\n"), 400, ""},
        {Get("/m", "Host: h\r\nContent-Length: 0\r\nContent-Length: 0\r\n"), 400, ""},
        // Fields after a chunked body are no part of the header.
        {post + "Host: h\r\nTransfer-Encoding: chunked\r\n" + chunkedBody +
             "Content-Type: application/json\r\n\r\n",
         0, ""},
        {post + "Transfer-Encoding: chunked\r\n" + chunkedBody +
             "Host: h\r\nContent-Type: application/json\r\n\r\n",
         400, ""},
        {post + "Host: h\r\nContent-Type: application/json\r\nTransfer-Encoding: chunked\r\n" +
             chunkedBody + "\r\n",
         0, "application/json"},
        {post + "Host: h\r\nTransfer-Encoding: xchunked\r\n\r\n" + Get("/x"), 501, ""},
        {post + "Host: h\r\nTransfer-Encoding: gzip, chunked\r\n" + chunkedBody + "\r\n", 501, ""},
        {post + "Host: h\r\nTransfer-Encoding: identity\r\nTransfer-Encoding: chunked\r\n" +
             chunkedBody + "\r\n",
         501, ""},
        {post + "Host: h\r\nTransfer-Encoding: chunked, chunked\r\n" + chunkedBody + "\r\n", 400, ""},
        {post + "Host: h\r\nTransfer-Encoding: CHUNKED ,\r\n" + chunkedBody + "\r\n", 0, ""},
        {"POST /c HTTP/1.0\r\nTransfer-Encoding: chunked\r\n" + chunkedBody + "\r\n", 400, ""},
        {Get("/m", "Host: h\r\nX-A: 1\r\n folded: 2\r\n"), 400, ""},
        {Get("/m", "Host: h\r\nX-A: 1\r\n\tfolded\r\n"), 400, ""},
        {"GET /m HTTP/1.1\r\n Host: h\r\n\r\n", 400, ""},
    };
    for (const auto& c : cases) {
        for (const std::size_t piece : {c.bytes.size(), std::size_t{1}, std::size_t{7}}) {
            HttpRequest r;
            EXPECT_EQ(StatusInPieces(c.bytes, piece, &r), c.status)
                << c.bytes.substr(0, 90) << " in pieces of " << piece;
            EXPECT_EQ(r.contentType, c.contentType) << c.bytes.substr(0, 90);
        }
    }
}

TEST(HttpParse, PercentDecodingAndQuery) {
    std::string out;
    EXPECT_TRUE(PercentDecode("%41b%2fc+d", false, &out));
    EXPECT_EQ(out, "Ab/c+d");
    EXPECT_TRUE(PercentDecode("c+d%2B", true, &out));
    EXPECT_EQ(out, "c d+");
    for (const char* bad : {"%", "%4", "%4g", "%%41", "a%"}) {
        EXPECT_FALSE(PercentDecode(bad, false, &out)) << bad;
    }
    std::multimap<std::string, std::string> q;
    EXPECT_TRUE(ParseQueryString("a=1&&a=2&=x&b=", &q));
    const std::multimap<std::string, std::string> expected = {
        {"a", "1"}, {"a", "2"}, {"", "x"}, {"b", ""}};
    EXPECT_EQ(q, expected);
}

TEST(HttpParse, ResponseHeadHasOurFieldsAndDropsInjectedOnes) {
    HttpResponse r = TextResponse(404, "not found");
    r.headers = {{"X-Ok", "1"},
                 {"X-Bad", "a\r\nSet-Cookie: x"},
                 {"Content-Length", "99"},
                 {"cache-control", "max-age=60"},
                 {"Bad Name", "1"}};
    EXPECT_EQ(ResponseHead(r, ResponseFraming{false, 10, false}),
              "HTTP/1.1 404 Not Found\r\nContent-Type: text/plain; charset=utf-8\r\nX-Ok: 1\r\n"
              "Cache-Control: no-store\r\nX-Content-Type-Options: nosniff\r\n"
              "Content-Length: 10\r\nConnection: close\r\n\r\n");
    r.status = 200;
    r.headers.clear();
    EXPECT_EQ(ResponseHead(r, ResponseFraming{true, 0, true}),
              "HTTP/1.1 200 OK\r\nContent-Type: text/plain; charset=utf-8\r\n"
              "Cache-Control: no-store\r\nX-Content-Type-Options: nosniff\r\n"
              "Transfer-Encoding: chunked\r\n\r\n");
}

}  // namespace
