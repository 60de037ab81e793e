// The tally of a watch: requests sent, replies, exception replies, each kind
// of failure the line diagnosis tells apart, and the response time of the
// answers (from the request going out to the reply being complete).
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "link/LineDiagnosis.h"

// The count of one failure kind, named as the line diagnosis names it
// ("nothing", "crc-error", ...; "other-transaction" for discarded replies).
struct FailureCount {
    const char* kind;
    std::uint64_t count;
};

// The response times of the answers so far, in ms.
struct ResponseSpread {
    double minMs, meanMs, maxMs;
};

class LinkCounters {
public:
    // The upper bounds of the response-time buckets, in ms (the exporter
    // publishes them in seconds, 0.005 to 10); a last bucket takes the rest.
    static constexpr std::array<double, 11> kBucketMs = {5,   10,   25,   50,   100,  250,
                                                         500, 1000, 2500, 5000, 10000};
    static constexpr std::size_t kBuckets = kBucketMs.size() + 1;

    // One exchange: its finding (Answered for a reply) and how long it took.
    void Add(const LineDiagnosis& diagnosis, double ms);
    // A reply that came after its exchange had timed out (no request of its own).
    void AddLateReply() { ++byFinding_[static_cast<std::size_t>(LineFinding::EarlierReply)]; }
    // Modbus TCP replies discarded for another transaction id; shown as
    // "other-transaction" once there were any.
    void AddDiscarded(int replies);
    // A Modbus TCP reply taken by its transaction id although it carried
    // another unit id; shown as "other-unit" once there were any.
    void AddOtherUnit() { ++otherUnit_; }
    std::uint64_t OtherUnit() const { return otherUnit_; }

    std::uint64_t Sent() const { return sent_; }
    std::uint64_t Count(LineFinding finding) const {
        return byFinding_[static_cast<std::size_t>(finding)];
    }

    // Every failure kind in the order they are reported, those that never
    // happened included, "other-transaction" last.
    std::vector<FailureCount> Failures() const;
    // Min/mean/max of the answers' times; none before the first answer.
    std::optional<ResponseSpread> Response() const;
    // The answers (replies and exception replies) with a time no longer than
    // each bound of kBucketMs, then all of them: cumulative, as a Prometheus
    // histogram counts them.
    std::array<std::uint64_t, kBuckets> ResponseBuckets() const;
    std::uint64_t ResponseCount() const { return timed_; }
    double ResponseSumMs() const { return sumMs_; }

    // One line for the live view's status line: "sent 12, replies 11,
    // exceptions 0, nothing 1; response 8.1/9.0/12.4 ms (min/mean/max)";
    // failure kinds that never happened are left out.
    std::string StatusLine() const;
    // The end-of-watch summary: one "name: count" line each, then the times.
    std::string Summary() const;

private:
    std::string Times() const;

    std::uint64_t sent_ = 0;
    std::array<std::uint64_t, kLineFindings> byFinding_{};
    std::uint64_t discarded_ = 0;
    std::uint64_t otherUnit_ = 0;
    std::uint64_t timed_ = 0;
    std::array<std::uint64_t, kBuckets> byBucket_{};  // not cumulative
    double minMs_ = 0, maxMs_ = 0, sumMs_ = 0;
};
