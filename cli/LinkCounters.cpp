#include "cli/LinkCounters.h"

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
    }
}

std::string LinkCounters::Times() const {
    if (timed_ == 0) {
        return "-";
    }
    return Ms(minMs_) + "/" + Ms(sumMs_ / static_cast<double>(timed_)) + "/" + Ms(maxMs_) + " ms";
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
    return text + "  response min/mean/max: " + Times() + "\n";
}
