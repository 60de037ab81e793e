// What `k40ctl serve` knows of its unit at one moment, copied out of the
// poller's state under one lock: everything /metrics and /api/v1/readings are
// made from, so that neither ever waits for the link.
#pragma once

#include <chrono>
#include <cstdint>
#include <map>
#include <optional>
#include <string>

#include "master/LinkCounters.h"
#include "master/ReadRecord.h"

enum class LinkState {
    Starting,   // no scan made yet since the port was opened (or reopened)
    Answering,  // the last scan got a reply
    NoReply,    // the last scan got no reply or an exception reply
    PortLost,   // the port failed and is being reopened
};

struct ServeSnapshot {
    using Time = std::chrono::system_clock::time_point;

    ReadRecord last;  // the last scan made; no values unless it got a reply
    bool anyScan = false;
    std::optional<Time> lastGoodScan;  // the last scan that got a reply
    // The alarms raised, by bit: since the first scan that saw each raised.
    // Kept while scans fail or the port is lost; a scan with a reply that
    // shows the bit cleared ends it.
    std::map<int, Time> alarmSince;

    LinkState state = LinkState::Starting;
    Time stateSince{};  // when the link entered its state (the first failed scan, the loss)
    // With NoReply and PortLost: what the line showed (a LineDiagnosis name,
    // "exception", "port-lost") and the sentence that explains it.
    std::string finding, diagnosis;

    std::string port;  // --port as given
    int slave = 1;
    double intervalSeconds = 1.0;
    int waitMs = 1500;
    long long historySeconds = 0;  // --history: how long scans are kept
    bool commandsAllowed = false;
    bool commandsNeedToken = false;

    std::uint64_t scans = 0, failedScans = 0, missedScans = 0;  // as the watch counts them
    LinkCounters counters;
    std::string version;  // K40_VERSION
};

// "starting", "answering", "no-reply", "port-lost".
const char* LinkStateWord(LinkState state);
