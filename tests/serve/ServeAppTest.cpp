// serve's routes behind the real server, with a state filled as the poller
// fills it: long histories streamed whole in both formats (Python's csv reads
// the CSV), the event stream's fan-out, and what each path refuses.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>
#include <sstream>

#include "formats/RecordFormat.h"
#include "serve/HttpServer.h"
#include "serve/ServeApp.h"
#include "tests/serve/HttpTestClient.h"
#include "tests/serve/ServeRecords.h"
#include "tests/support/TextParsers.h"

namespace {

class ServeAppTest : public ::testing::Test {
protected:
    void SetUp() override {
        ServeSnapshot base;
        base.port = "/dev/ttyUSB0";
        state_ = std::make_unique<ServeState>(link_, base, std::chrono::hours(24));
        Serve(ServeAccess{});
    }
    void Serve(ServeAccess access) {
        server_.reset();
        app_ = std::make_unique<ServeApp>(std::move(access), state_.get(), nullptr, nullptr);
        server_ = std::make_unique<HttpServer>(*app_);
        std::string why;
        ASSERT_TRUE(server_->Listen("127.0.0.1", 0, &why)) << why;
        app_->SetHosts(MakeAllowedHosts("127.0.0.1", server_->Port(), {}));
        server_->Start(2);
    }
    void Scans(unsigned n) {
        ScanStatus status;
        for (unsigned i = 0; i < n; ++i) {
            ++status.scans;
            state_->OnScan(AllReply(kScanTime + std::chrono::seconds(i), i), status);
        }
    }
    // The whole answer's body, chunked transfer decoded.
    std::string Get(const std::string& target, const std::string& fields = "",
                    const std::string& method = "GET") {
        TestSocket s(server_->Port());
        s.Send(method + " " + target + " HTTP/1.1\r\nHost: 127.0.0.1:" +
               std::to_string(server_->Port()) + "\r\n" + fields + "Connection: close\r\n\r\n");
        const std::string all = s.ReadToEnd();
        status_ = StatusOf(all);
        head_ = all.substr(0, all.find("\r\n\r\n"));
        const std::size_t end = all.find("\r\n\r\n");
        const bool chunked = all.substr(0, end).find("chunked") != std::string::npos;
        return chunked ? Dechunk(all.substr(end + 4)) : BodyOf(all);
    }
    static std::string Dechunk(const std::string& chunked) {
        std::string body;
        std::size_t at = 0;
        for (;;) {
            const std::size_t line = chunked.find("\r\n", at);
            const std::size_t size = std::stoul(chunked.substr(at, line - at), nullptr, 16);
            if (size == 0) {
                return body;
            }
            body += chunked.substr(line + 2, size);
            at = line + 2 + size + 2;
        }
    }

    UnitLink link_{"/dev/null", LineSettings{}, 1, 1500, nullptr};
    std::unique_ptr<ServeState> state_;
    std::unique_ptr<ServeApp> app_;
    std::unique_ptr<HttpServer> server_;
    int status_ = 0;
    std::string head_;
};

TEST_F(ServeAppTest, ALongHistoryStreamsWholeInBothFormats) {
    Scans(3000);  // about 6 MB of JSON Lines: many pieces, each under the stream's bound
    const std::string lines = Get("/api/v1/history");
    EXPECT_EQ(status_, 200);
    std::istringstream in(lines);
    std::string line;
    unsigned n = 0;
    for (; std::getline(in, line); ++n) {
        ASSERT_EQ(line + "\n", JsonLine(AllReply(kScanTime + std::chrono::seconds(n), n))) << n;
    }
    EXPECT_EQ(n, 3000u);

    const std::string since = Iso8601Local(kScanTime + std::chrono::seconds(2990));
    const std::string csv = Get("/api/v1/history?format=csv&since=" + since);
    EXPECT_EQ(status_, 200);
    const nlohmann::json rows = ParseWithPython(
        "import csv, json, sys\n"
        "rows = list(csv.reader(open(sys.argv[1], newline='', encoding='utf-8')))\n"
        "print(json.dumps([len(rows[0]), len(rows) - 1, rows[1][0]]))\n",
        csv);
    EXPECT_EQ(rows, nlohmann::json::array({27, 10, since}));
}

TEST_F(ServeAppTest, EachPathRefusesWhatItCannotServe) {
    Scans(1);
    const struct {
        std::string target, fields;
        int status;
    } cases[] = {
        {"/api/v1/history?format=xml", "", 400},
        {"/api/v1/history?since=2026-12-08T10:00:00", "", 400},
        {"/api/v1/readings", "", 200},
        {"/api/v1/nothing", "", 404},
        {"/probe?target=tcp://127.0.0.1:1", "", 404},
        {"/metrics", "Origin: http://evil.example\r\n", 200},
    };
    for (const auto& c : cases) {
        Get(c.target, c.fields);
        EXPECT_EQ(status_, c.status) << c.target;
    }
    const auto readings = nlohmann::json::parse(Get("/api/v1/readings"));
    EXPECT_EQ(readings["link"]["state"], "answering");
    EXPECT_EQ(readings["port"], "/dev/ttyUSB0");
}

// An <img> or a script on another site's page (every loopback port is one
// site to a browser) reaches neither the probe nor the API nor a command; a
// link to the page, /metrics or a runbook still opens it.
TEST_F(ServeAppTest, AnotherSitesPageReachesNoProbeApiOrCommand) {
    Scans(1);
    const std::string img = "Sec-Fetch-Site: same-site\r\nSec-Fetch-Mode: no-cors\r\n"
                            "Sec-Fetch-Dest: image\r\n";
    const std::string link = "Sec-Fetch-Site: cross-site\r\nSec-Fetch-Mode: navigate\r\n"
                             "Sec-Fetch-Dest: document\r\n";
    const std::string json = "Content-Type: application/json\r\nContent-Length: 2\r\n\r\n{}";
    const struct {
        std::string method, target, fields;
        int status;
    } cases[] = {
        {"GET", "/probe?target=tcp://127.0.0.1:22", img, 403},
        {"GET", "/api/v1/readings", img, 403},
        {"GET", "/api/v1/readings", link, 403},
        {"GET", "/api/v1/readings", "Sec-Fetch-Site: same-origin\r\n", 200},
        {"GET", "/api/v1/readings", "Sec-Fetch-Site: none\r\n", 200},
        {"GET", "/api/v1/readings", "Origin: http://127.0.0.1:8000\r\n", 403},
        {"POST", "/api/v1/command", "Sec-Fetch-Site: same-site\r\n" + json, 403},
        {"POST", "/api/v1/nothing", "Sec-Fetch-Site: cross-site\r\n" + json, 403},
        {"GET", "/metrics", link, 200},
        {"GET", "/metrics", img, 200},
        {"GET", "/", link, 200},
        {"GET", "/runbooks/k40-down.html", link, 404},  // reaches the route
    };
    for (const auto& c : cases) {
        Get(c.target, c.fields, c.method);
        EXPECT_EQ(status_, c.status) << c.method << " " << c.target << " " << c.fields;
    }
    EXPECT_NE(Get("/metrics").find("k40_http_refused_total{reason=\"origin\"} 6"),
              std::string::npos);
}

TEST_F(ServeAppTest, ReadTokenGuardsAllButThePagesOwnFiles) {
    ServeAccess access;
    access.hosts = MakeAllowedHosts("127.0.0.1", 1, {});
    access.readToken = "0b7e41c9d25af38e6c1049b7d2e5f8a3";
    access.token = "c61e9d04b7a2f5c83e6d19a4b7c0f2e5";
    Serve(access);
    Scans(1);
    const std::string read = "Authorization: Bearer " + access.readToken + "\r\n";
    const std::string command = "Authorization: Bearer " + access.token + "\r\n";
    const struct {
        std::string target, fields;
        int status;
    } cases[] = {
        {"/", "", 200},
        {"/favicon.ico", "", 200},
        {"/runbooks/k40-down.html", "", 404},
        {"/metrics", "", 401},
        {"/metrics", "Authorization: Bearer " + access.readToken.substr(1) + "\r\n", 401},
        {"/metrics", read, 200},
        {"/metrics", command, 200},
        {"/api/v1/readings", "", 401},
        {"/api/v1/events", "", 401},
        {"/api/v1/history", "", 401},
        {"/api/v1/readings", read, 200},
        {"/nothing", "", 401},
    };
    for (const auto& c : cases) {
        Get(c.target, c.fields);
        EXPECT_EQ(status_, c.status) << c.target << " " << c.fields;
        EXPECT_EQ(head_.find("WWW-Authenticate: Bearer") != std::string::npos, c.status == 401)
            << c.target;
    }
}

// Two history downloads at once; a third is told when to come back, and
// comes in once one of the two has gone.
TEST_F(ServeAppTest, AtMostTwoHistoryDownloadsAtOnce) {
    Scans(3000);  // megabytes: a client that does not read holds its download open
    const std::string request = "GET /api/v1/history HTTP/1.1\r\nHost: 127.0.0.1:" +
                                std::to_string(server_->Port()) + "\r\n\r\n";
    std::vector<std::unique_ptr<TestSocket>> slow;
    for (int i = 0; i < 2; ++i) {
        slow.push_back(std::make_unique<TestSocket>(server_->Port(), 4096));
        ASSERT_TRUE(slow.back()->Send(request));
    }
    const auto third = [&] {
        Get("/api/v1/history?since=2030-01-01T00:00:00Z");  // nothing: quick
        return status_;
    };
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (third() == 200 && std::chrono::steady_clock::now() < deadline) {
        // the two slow ones are not both streaming yet
    }
    EXPECT_EQ(status_, 503);
    EXPECT_NE(head_.find("Retry-After: 5"), std::string::npos) << head_;
    slow.front()->Close();
    while (third() == 503 && std::chrono::steady_clock::now() < deadline) {
        // the server has yet to notice the closed one
    }
    EXPECT_EQ(status_, 200);
}

}  // namespace
