// Records of `watch all` scans and a snapshot around them, for the tests of
// serve's outputs.
#pragma once

#include <chrono>
#include <cstdio>
#include <string>

#include "cli/CsvLayout.h"
#include "master/ReadRecord.h"
#include "serve/ServeSnapshot.h"

using Clock = std::chrono::system_clock;

// 2026-12-07T17:44:55.123Z
inline const Clock::time_point kScanTime =
    Clock::time_point(std::chrono::milliseconds(1796665495123));

// A reply to a scan of all, its values varied by seed: analog values from
// -500.0 to 499.9 as the unit's decoding writes them, bits from the seed's.
inline ReadRecord AllReply(Clock::time_point time, unsigned seed) {
    ReadRecord record{time, ReadOutcome::Reply, 0, "", ScanColumns(ScanScope::All), "",
                      "",   8.0 + seed % 7};
    int analog = 0, bit = 0;
    for (SignalReading& r : record.values) {
        if (r.analog) {
            const int tenths = static_cast<int>((seed * 7919u + 131u * ++analog) % 10000) - 5000;
            char text[16];
            std::snprintf(text, sizeof text, "%.1f", tenths / 10.0);
            r.text = text;
            r.value = tenths / 10.0;
        } else {
            r.value = (seed >> bit++) & 1u;
            r.text = r.value != 0 ? "1" : "0";
        }
    }
    return record;
}

inline ReadRecord Failed(Clock::time_point time, std::string finding, std::string diagnosis) {
    return {time,        ReadOutcome::Timeout, 0, "", {}, std::move(finding), std::move(diagnosis),
            std::nullopt};
}

// One exchange of the counters with its finding.
inline void Exchange(LinkCounters* counters, LineFinding finding, double ms) {
    LineDiagnosis d;
    d.finding = finding;
    counters->Add(d, ms);
}

// A server answering on a device server after a few failures.
inline ServeSnapshot Answering() {
    ServeSnapshot s;
    s.last = AllReply(kScanTime, 3);
    s.anyScan = true;
    s.lastGoodScan = kScanTime;
    s.state = LinkState::Answering;
    s.stateSince = kScanTime - std::chrono::seconds(30);
    s.port = "tcp://[::1]:4001";
    s.slave = 7;
    s.intervalSeconds = 0.5;
    s.waitMs = 800;
    s.historySeconds = 5400;
    s.commandsAllowed = true;
    s.scans = 12;
    s.failedScans = 3;
    s.missedScans = 1;
    for (double ms : {4.0, 5.0, 7.5, 30.0, 12000.0}) {
        Exchange(&s.counters, LineFinding::Answered, ms);
    }
    Exchange(&s.counters, LineFinding::Exception, 9.0);
    Exchange(&s.counters, LineFinding::CrcError, 40.0);
    Exchange(&s.counters, LineFinding::Nothing, 800.0);
    Exchange(&s.counters, LineFinding::Nothing, 800.0);
    s.counters.AddDiscarded(2);
    s.version = "1.4.0";
    return s;
}
