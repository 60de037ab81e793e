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
        app_ = std::make_unique<ServeApp>(ServeAccess{}, state_.get(), nullptr, nullptr);
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
    std::string Get(const std::string& target, const std::string& fields = "") {
        TestSocket s(server_->Port());
        s.Send("GET " + target + " HTTP/1.1\r\nHost: 127.0.0.1:" +
               std::to_string(server_->Port()) + "\r\n" + fields + "Connection: close\r\n\r\n");
        const std::string all = s.ReadToEnd();
        status_ = StatusOf(all);
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

}  // namespace
