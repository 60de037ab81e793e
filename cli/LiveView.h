// The live view of "k40ctl watch" on a terminal: the screen is redrawn in place
// after every scan, so an engineer switching rectifier modules sees the battery
// current move, and which status bits just flipped.
#pragma once

#include <cstdint>
#include <deque>
#include <string>
#include <vector>

#include "cli/ReadRecord.h"

struct WatchStatus {
    std::uint64_t scans = 0, failures = 0;
    std::string lastOutcome;  // "reply", "no reply within 1500 ms", ...
    std::string counters;     // free text the loop may add (response times etc.)
};

class LiveView {
public:
    // The signals shown, in order: their names, registers and units; the
    // values come from the records.
    explicit LiveView(std::vector<SignalReading> columns);

    // Takes a scan. A scan without a reply adds nothing: the rows keep the last
    // values that came in.
    void Add(const ReadRecord& record);

    // The whole screen, to be written as it is: cursor home, then every line
    // followed by erase-to-end-of-line, then erase below. Analog rows with
    // name, value, unit, the change since the previous scan and a sparkline of
    // the last values; the status bits with value and legend, those that
    // changed in the last scan marked "*" in reverse video; a status line.
    std::string Render(const WatchStatus& status) const;

    static constexpr std::size_t kHistory = 40;

private:
    struct Row {
        SignalReading column;
        std::string text;            // the value as last shown; empty before the first reply
        std::string change;          // "+0.3", or empty before a second reply
        bool changed = false;        // a bit that flipped in the last scan with a reply
        std::deque<double> history;  // analog: up to kHistory values, oldest first
    };

    std::vector<Row> rows_;
    std::string lastReplyTime_;
};
