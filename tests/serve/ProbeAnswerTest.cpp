// The probe's request checks, its time budget and the text it answers with,
// the text judged by promtool as Prometheus would read it.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "cli/CsvLayout.h"
#include "serve/ProbeAnswer.h"
#include "tests/serve/ProbeTestSupport.h"

namespace {

using std::chrono::milliseconds;

TEST(ProbeRequest, TakesOneTargetAndASlaveInTheRangeOfItsKind) {
    struct Case {
        std::vector<std::pair<std::string, std::string>> query;
        bool ok;
        int slave;
        const char* why;  // part of the reason
    };
    const std::string rtu = "tcp://127.0.0.1:5020", mb = "mbtcp://127.0.0.1:5502";
    const Case cases[] = {
        {{{"target", rtu}}, true, 1, ""},
        {{{"target", rtu}, {"slave", "7"}}, true, 7, ""},
        {{{"target", rtu}, {"slave", "254"}}, true, 254, ""},
        {{{"target", rtu}, {"slave", "0"}}, false, 0, "1..254"},
        {{{"target", rtu}, {"slave", "255"}}, false, 0, "1..254"},
        {{{"target", mb}, {"slave", "0"}}, true, 0, ""},
        {{{"target", mb}, {"slave", "255"}}, true, 255, ""},
        {{{"target", mb}, {"slave", "256"}}, false, 0, "0..255"},
        {{{"target", rtu}, {"slave", "1e1"}}, false, 0, "slave"},
        {{{"target", rtu}, {"slave", "-1"}}, false, 0, "slave"},
        {{{"target", rtu}, {"slave", " 1"}}, false, 0, "slave"},
        {{{"target", rtu}, {"slave", ""}}, false, 0, "slave"},
        {{{"target", rtu}, {"slave", "0007"}}, false, 0, "slave"},
        {{{"target", rtu}, {"slave", "1"}, {"slave", "2"}}, false, 0, "once"},
        {{{"target", rtu}, {"target", mb}}, false, 0, "once"},
        {{{"slave", "1"}}, false, 0, "no target"},
        {{{"target", "tcp://192.0.2.1:502"}}, false, 0, "--probe-target"},
        {{{"target", rtu}, {"module", "k40"}}, true, 1, ""},  // the scraper's own parameters
    };
    for (const Case& c : cases) {
        HttpRequest request;
        request.method = "GET";
        for (const auto& [name, value] : c.query) {
            request.query.emplace(name, value);
        }
        ProbeRequest probe;
        std::string why;
        const std::string shown = c.query.size() > 1 ? c.query[1].second : c.query[0].second;
        ASSERT_EQ(ParseProbeRequest(request, ProbeRules{}, &probe, &why), c.ok) << shown << why;
        if (c.ok) {
            EXPECT_EQ(probe.slave, c.slave) << shown;
        } else {
            EXPECT_NE(why.find(c.why), std::string::npos) << shown << ": " << why;
        }
    }
}

TEST(ProbeBudget, FitsTheScrapersTimeOutOrThreeReplyWaits) {
    struct Case {
        const char* header;
        int waitMs;
        long long budgetMs;
    };
    const Case cases[] = {
        {"", 1500, 4500},      {"10", 1500, 9500},  {"1", 1500, 900},       {"0.5", 1500, 450},
        {"2.25", 1500, 2025},  {"5.", 1500, 4500},  {"abc", 1500, 4500},    {"0", 1000, 3000},
        {"-1", 1500, 4500},    {"1e3", 1500, 4500}, {"1000", 1500, 120000}, {" 10", 1500, 4500},
        {"9.9999", 100, 9499}, {".", 1500, 4500},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(ProbeBudget(c.header, c.waitMs).count(), c.budgetMs) << c.header;
    }
}

TEST(ProbeBudget, SharesWhatIsLeftAmongTheConnectAndTheTwoReads) {
    struct Case {
        long long leftMs;
        int waitMs;
        int exchangeMs;
    };
    const Case cases[] = {
        {4500, 1500, 1500}, {100000, 1500, 1500}, {900, 1500, 300}, {150, 1500, 50},
        {149, 1500, 0},     {0, 1500, 0},         {-20, 1500, 0},   {9500, 3000, 3000},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(ExchangeWaitMs(milliseconds(c.leftMs), c.waitMs), c.exchangeMs) << c.leftMs;
    }
}

ReadRecord ReplyRecord() {
    ReadRecord record;
    record.outcome = ReadOutcome::Reply;
    for (SignalReading column : ScanColumns(ScanScope::All)) {
        column.value = column.analog ? 48.5 + column.reg : column.reg % 2;
        column.text = std::to_string(column.value);
        record.values.push_back(column);
    }
    return record;
}

TEST(ProbeText, IsTheScanWithItsDurationAndNoWatchCounters) {
    const std::string text = ProbeText(ReplyRecord(), "tcp://127.0.0.1:5020", 3, 0.125, "");
    const auto samples = Samples(text);
    EXPECT_EQ(samples.at("k40_up{port=\"tcp://127.0.0.1:5020\",slave=\"3\"}"), "1");
    EXPECT_EQ(CountSamples(text, "k40_analog_value"), 9);
    EXPECT_EQ(CountSamples(text, "k40_status_bit"), 15);
    EXPECT_EQ(samples.at("k40_probe_duration_seconds"), "0.125");
    EXPECT_EQ(text.find("k40_scans"), std::string::npos);
    EXPECT_EQ(text.find("# k40ctl"), std::string::npos);
    std::string out;
    const int status = PromtoolCheck(text, &out);
    if (status < 0) {
        GTEST_SKIP() << "no promtool";
    }
    EXPECT_EQ(status, 0) << out << text;
}

TEST(ProbeText, GivesTheReasonOfAFailureAsOneCommentLine) {
    ReadRecord none;  // no reply
    const std::string target = "tcp://[::1]:5020";
    const std::string text =
        ProbeText(none, target, 1, 1.5, "no reply within 500 ms:\nnothing arrived\r");
    const auto samples = Samples(text);
    EXPECT_EQ(samples.at("k40_up{port=\"tcp://[::1]:5020\",slave=\"1\"}"), "0");
    EXPECT_EQ(CountSamples(text, "k40_analog_value"), 0);  // never a stale value
    EXPECT_EQ(samples.size(), 2u);
    EXPECT_EQ(text.rfind("# k40ctl probe of tcp://[::1]:5020 (slave 1): no reply within 500 ms: "
                         "nothing arrived \n",
                         0),
              0u)
        << text;
    std::string out;
    const int status = PromtoolCheck(text, &out);
    if (status < 0) {
        GTEST_SKIP() << "no promtool";
    }
    EXPECT_EQ(status, 0) << out << text;
}

// What a probe says of a failure holds nothing the target sent: a service
// that is no unit (ssh, a database) must not have its banner read through it.
TEST(ProbeFailure, NamesTheKindNeverTheBytes) {
    ReadRecord banner;
    banner.finding = "no-frame";
    banner.diagnosis = "bytes without a valid frame (53 53 48 2D 32 2E 30)";
    ReadRecord closed;
    closed.finding = "peer-closed";
    closed.diagnosis = "the connection was closed after 53 53 48";
    ReadRecord silent;
    const struct {
        const ReadRecord& record;
        std::string said;
    } cases[] = {
        {banner, "no reply within 500 ms (no-frame)"},
        {closed, "no reply: the target closed the connection"},
        {silent, "no reply within 500 ms"},
    };
    for (const auto& c : cases) {
        const std::string said = ProbeFailure(c.record, 500);
        EXPECT_EQ(said, c.said);
        const std::string text = ProbeText(c.record, "tcp://127.0.0.1:22", 1, 0.5, said);
        EXPECT_EQ(text.find("53 53"), std::string::npos) << text;
    }
}

}  // namespace
