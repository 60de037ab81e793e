// The tally of a watch: requests sent, replies, exception replies, each kind
// of failure the line diagnosis tells apart, and the response time of the
// answers (from the request going out to the reply being complete).
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "link/LineDiagnosis.h"

class LinkCounters {
public:
    // One exchange: its finding (Answered for a reply) and how long it took.
    void Add(const LineDiagnosis& diagnosis, double ms);

    std::uint64_t Sent() const { return sent_; }
    std::uint64_t Count(LineFinding finding) const {
        return byFinding_[static_cast<std::size_t>(finding)];
    }

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
    std::uint64_t timed_ = 0;
    double minMs_ = 0, maxMs_ = 0, sumMs_ = 0;
};
