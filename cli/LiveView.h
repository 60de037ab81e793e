// The live view of "k40ctl watch" on a terminal: the screen is redrawn in place
// after every scan, so an engineer switching rectifier modules sees the battery
// current move, and which status bits flipped and when.
#pragma once

#include <chrono>
#include <cstdint>
#include <deque>
#include <optional>
#include <string>
#include <vector>

#include "master/ReadRecord.h"
#include "master/ScanScope.h"

// The terminal's size in character cells.
struct TermSize {
    int columns = 80;
    int rows = 24;
};

class LiveView {
public:
    using Time = std::chrono::system_clock::time_point;

    // The signals shown, in order: their names, registers and units; the
    // values come from the records. start: when the watch began, the start of
    // the time without data until the first reply.
    explicit LiveView(std::vector<SignalReading> columns, Time start = {});

    // Takes a scan. A scan without a reply adds nothing: the rows keep the last
    // values that came in, shown as stale.
    void Add(const ReadRecord& record);
    // The port failed at that time and is being reopened; it is back.
    void PortLost(Time since);
    void PortBack(Time at);

    // The whole screen, to be written as it is: cursor home, the lines each
    // followed by erase-to-end-of-line, then erase below. Never more lines
    // than the terminal has nor a line as wide as it is, so nothing wraps or
    // scrolls. A header with the time of the last reply (and, without data
    // now, for how long the values are stale), with status bits the alarms
    // they raise in words ("ALARM 交流停电 critical" or "alarms: none"), the
    // port's outage, the analog
    // rows (value, unit, change since the previous scan, a sparkline as wide
    // as there is room), the status bits (as many to a line as the height
    // needs; each that changed marked "*" with the time of its last change,
    // those of the latest change in reverse video), the status lines.
    std::string Render(const ScanStatus& status, TermSize size, Time now) const;

    static constexpr std::size_t kHistory = 120;

private:
    struct Row {
        SignalReading column;
        std::string text;            // the value as last shown; empty before the first reply
        std::string change;          // "+0.3", or empty before a second reply
        std::optional<Time> changedAt;  // a bit's last change
        std::deque<double> history;  // analog: up to kHistory values, oldest first
    };

    std::vector<std::string> AnalogLines(std::size_t width) const;
    std::string AlarmLine() const;
    std::vector<std::string> BitLines(std::size_t perLine, std::size_t width) const;
    std::string BitCell(const Row& row, bool legend, std::size_t nameWidth) const;
    std::size_t BitNameWidth() const;
    std::size_t BitCellWidth(bool legend) const;
    struct BitsLayout {
        std::size_t perLine;
        bool blanks;  // blank lines between the parts
    };
    BitsLayout ChooseBitsLayout(std::size_t bitCount, std::size_t fixedLines,
                                std::size_t blankLines, std::size_t width,
                                std::size_t height) const;
    std::vector<std::string> HeaderLines(Time now, std::size_t width) const;
    static std::vector<std::string> StatusLines(const ScanStatus& status, std::size_t width);
    std::vector<std::string> Body(const std::vector<std::string>& analog, const BitsLayout& bits,
                                  std::size_t width) const;
    static void FitBody(std::vector<std::string>& body, std::size_t room, std::size_t width);
    std::size_t BitCount() const;

    std::vector<Row> rows_;
    Time start_;
    std::optional<Time> lastReply_;
    bool stale_ = false;     // the last scan brought no data
    std::optional<Time> latestChange_;  // the scan of the latest bit change
    Time lostSince_{};
    std::optional<Time> backAt_;
    bool lost_ = false;
};
