#include "master/LinkCounters.h"

#include <algorithm>
#include <cstdio>
#include <iterator>

namespace {

// The failure kinds in the order they are reported, with their report names.
constexpr LineFinding kFailures[] = {
    LineFinding::Nothing,     LineFinding::EchoOnly,     LineFinding::LoneCopy,
    LineFinding::EchoAltered, LineFinding::NoFrame,      LineFinding::CrcError,
    LineFinding::OtherSlave,  LineFinding::EarlierReply, LineFinding::PeerClosed};
// Every finding is a failure kind here, or one of the two answers.
static_assert(std::size(kFailures) + 2 == kLineFindings, "a finding is missing from kFailures");

// Modbus TCP replies with another transaction id, discarded by the exchange.
constexpr char kDiscardedName[] = "other-transaction";
// Modbus TCP replies taken by their transaction id that carried another unit id.
constexpr char kOtherUnitName[] = "other-unit";

std::string Ms(double ms) {
    char text[32];
    std::snprintf(text, sizeof text, "%.1f", ms);
    return text;
}

}  // namespace

void LinkCounters::Add(const LineDiagnosis& diagnosis, double ms) {
    ++sent_;
    ++byFinding_[static_cast<std::size_t>(diagnosis.finding)];
    if (diagnosis.finding == LineFinding::Answered || diagnosis.finding == LineFinding::Exception) {
        minMs_ = timed_ == 0 || ms < minMs_ ? ms : minMs_;
        maxMs_ = timed_ == 0 || ms > maxMs_ ? ms : maxMs_;
        sumMs_ += ms;
        ++timed_;
        const auto bound = std::lower_bound(kBucketMs.begin(), kBucketMs.end(), ms);
        ++byBucket_[static_cast<std::size_t>(bound - kBucketMs.begin())];
    }
}

std::vector<FailureCount> LinkCounters::Failures() const {
    std::vector<FailureCount> counts;
    for (LineFinding f : kFailures) {
        counts.push_back({CLineDiagnosis::Name(f), Count(f)});
    }
    counts.push_back({kDiscardedName, discarded_});
    return counts;
}

std::optional<ResponseSpread> LinkCounters::Response() const {
    if (timed_ == 0) {
        return std::nullopt;
    }
    return ResponseSpread{minMs_, sumMs_ / static_cast<double>(timed_), maxMs_};
}

std::array<std::uint64_t, LinkCounters::kBuckets> LinkCounters::ResponseBuckets() const {
    std::array<std::uint64_t, kBuckets> cumulative{};
    std::uint64_t sum = 0;
    for (std::size_t i = 0; i < kBuckets; ++i) {
        sum += byBucket_[i];
        cumulative[i] = sum;
    }
    return cumulative;
}

void LinkCounters::AddDiscarded(int replies) {
    discarded_ += static_cast<std::uint64_t>(replies > 0 ? replies : 0);
}

std::string LinkCounters::Times() const {
    const std::optional<ResponseSpread> spread = Response();
    if (!spread) {
        return "-";
    }
    return Ms(spread->minMs) + "/" + Ms(spread->meanMs) + "/" + Ms(spread->maxMs) + " ms";
}

std::string LinkCounters::StatusLine() const {
    std::string line = "sent " + std::to_string(sent_) + ", replies " +
                       std::to_string(Count(LineFinding::Answered)) + ", exceptions " +
                       std::to_string(Count(LineFinding::Exception));
    for (LineFinding f : kFailures) {
        if (Count(f) != 0) {
            line += std::string(", ") + CLineDiagnosis::Name(f) + " " + std::to_string(Count(f));
        }
    }
    if (discarded_ != 0) {
        line += ", " + std::string(kDiscardedName) + " " + std::to_string(discarded_);
    }
    if (otherUnit_ != 0) {
        line += ", " + std::string(kOtherUnitName) + " " + std::to_string(otherUnit_);
    }
    return line + "; response " + Times() + " (min/mean/max)";
}

std::string LinkCounters::Summary() const {
    std::string text = "  sent: " + std::to_string(sent_) + "\n" +
                       "  replies: " + std::to_string(Count(LineFinding::Answered)) + "\n" +
                       "  exceptions: " + std::to_string(Count(LineFinding::Exception)) + "\n";
    for (LineFinding f : kFailures) {
        text +=
            std::string("  ") + CLineDiagnosis::Name(f) + ": " + std::to_string(Count(f)) + "\n";
    }
    if (discarded_ != 0) {
        text += "  " + std::string(kDiscardedName) + ": " + std::to_string(discarded_) + "\n";
    }
    if (otherUnit_ != 0) {
        text += "  " + std::string(kOtherUnitName) + ": " + std::to_string(otherUnit_) + "\n";
    }
    return text + "  response min/mean/max: " + Times() + "\n";
}
