// The response-time histogram and the failure counts that /metrics and
// /api/v1/readings publish, and the status line they leave as it was.
#include <gtest/gtest.h>

#include "master/LinkCounters.h"
#include "tests/serve/ServeRecords.h"

namespace {

TEST(LinkCounters, CountsAnswersIntoCumulativeBuckets) {
    const LinkCounters c = Answering().counters;
    // 4, 5 | 7.5, 9 | 30 | 12000 ms: a time on a bound falls in that bucket;
    // the failures are not timed.
    const std::array<std::uint64_t, LinkCounters::kBuckets> expected = {2, 4, 4, 5, 5, 5,
                                                                        5, 5, 5, 5, 5, 6};
    EXPECT_EQ(c.ResponseBuckets(), expected);
    EXPECT_EQ(c.ResponseCount(), 6u);
    EXPECT_DOUBLE_EQ(c.ResponseSumMs(), 12055.5);
    const auto spread = c.Response();
    ASSERT_TRUE(spread);
    EXPECT_EQ(spread->minMs, 4.0);
    EXPECT_DOUBLE_EQ(spread->meanMs, 12055.5 / 6);
    EXPECT_EQ(spread->maxMs, 12000.0);
    EXPECT_FALSE(LinkCounters().Response());
    EXPECT_EQ(LinkCounters().ResponseBuckets().back(), 0u);
}

TEST(LinkCounters, NamesEveryFailureKindInTheReportOrder) {
    const LinkCounters c = Answering().counters;
    std::vector<std::pair<std::string, std::uint64_t>> failures;
    for (const FailureCount& f : c.Failures()) {
        failures.emplace_back(f.kind, f.count);
    }
    const std::vector<std::pair<std::string, std::uint64_t>> expected = {
        {"nothing", 2},     {"echo-only", 0},        {"lone-copy", 0},   {"echo-altered", 0},
        {"no-frame", 0},    {"crc-error", 1},        {"other-slave", 0}, {"earlier-reply", 0},
        {"peer-closed", 0}, {"other-transaction", 2}};
    EXPECT_EQ(failures, expected);
    EXPECT_EQ(c.StatusLine(),
              "sent 9, replies 5, exceptions 1, nothing 2, crc-error 1, other-transaction 2; "
              "response 4.0/2009.2/12000.0 ms (min/mean/max)");
}

}  // namespace
