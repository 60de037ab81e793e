#include "cli/LiveView.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "cli/DisplayWidth.h"
#include "cli/RecordFormat.h"

namespace {

constexpr const char* kEndLine = "\x1b[K\n";  // erase the rest of the old line
constexpr const char* kReverse = "\x1b[7m";
constexpr const char* kNormal = "\x1b[0m";

// Eight levels, lowest to highest.
constexpr const char* kBars[] = {"▁", "▂", "▃", "▄", "▅", "▆", "▇", "█"};

std::string Sparkline(const std::deque<double>& values) {
    if (values.empty()) {
        return {};
    }
    const auto [lo, hi] = std::minmax_element(values.begin(), values.end());
    const double span = *hi - *lo;
    std::string line;
    for (double v : values) {
        int level = 0;
        if (span > 0 && std::isfinite(span)) {
            level = static_cast<int>(std::lround((v - *lo) / span * 7));
            level = std::clamp(level, 0, 7);
        }
        line += kBars[level];
    }
    return line;
}

// Digits after the decimal point of a shown value, so that the change is
// written with the value's own precision: "220.0" to "+0.3".
int Decimals(const std::string& text) {
    const std::size_t dot = text.find('.');
    if (dot == std::string::npos) {
        return 0;
    }
    std::size_t digits = 0;
    while (dot + 1 + digits < text.size() && text[dot + 1 + digits] >= '0' &&
           text[dot + 1 + digits] <= '9') {
        ++digits;
    }
    return static_cast<int>(std::min<std::size_t>(digits, 6));
}

std::string Change(double delta, int decimals) {
    char text[48];
    std::snprintf(text, sizeof text, "%+.*f", decimals, delta);
    std::string s = text;
    // A change that rounds to nothing is shown without a sign.
    if (s.find_first_of("123456789") == std::string::npos) {
        s.erase(0, 1);
    }
    return s;
}

std::string RightAlign(const std::string& text, std::size_t width) {
    const std::size_t have = DisplayWidth(text);
    return have >= width ? text : std::string(width - have, ' ') + text;
}

}  // namespace

LiveView::LiveView(std::vector<SignalReading> columns) {
    for (SignalReading& c : columns) {
        Row row;
        row.column = std::move(c);
        rows_.push_back(std::move(row));
    }
}

void LiveView::Add(const ReadRecord& record) {
    if (record.outcome != ReadOutcome::Reply) {
        return;
    }
    lastReplyTime_ = Iso8601Local(record.time);
    for (Row& row : rows_) {
        const SignalReading* r = FindReading(record, row.column);
        if (!r) {
            continue;
        }
        const double value = ShownValue(*r);
        if (row.column.analog) {
            row.change = row.history.empty()
                             ? std::string()
                             : Change(value - row.history.back(), Decimals(r->text));
            row.history.push_back(value);
            if (row.history.size() > kHistory) {
                row.history.pop_front();
            }
        } else {
            row.changed = !row.text.empty() && row.text != r->text;
        }
        row.text = r->text;
    }
}

std::string LiveView::Render(const WatchStatus& status) const {
    std::size_t nameWidth = 0, valueWidth = 1, unitWidth = 0, changeWidth = 0;
    for (const Row& row : rows_) {
        nameWidth = std::max(nameWidth, DisplayWidth(row.column.name));
        valueWidth = std::max(valueWidth, DisplayWidth(row.text));
        if (row.column.analog) {
            unitWidth = std::max(unitWidth, DisplayWidth(row.column.unit));
            changeWidth = std::max(changeWidth, DisplayWidth(row.change));
        }
    }

    std::string screen = "\x1b[H";
    screen += "k40ctl watch   last reply: " + (lastReplyTime_.empty() ? "-" : lastReplyTime_);
    screen += kEndLine;
    screen += kEndLine;
    bool analogShown = false, bitsStarted = false;
    for (const Row& row : rows_) {
        const std::string value = row.text.empty() ? "-" : row.text;
        std::string line;
        if (row.column.analog) {
            line = "  " + PadRight(row.column.name, nameWidth) + "  " +
                   RightAlign(value, valueWidth) + " " + PadRight(row.column.unit, unitWidth) +
                   "  " + RightAlign(row.change, changeWidth) + "  " + Sparkline(row.history);
            analogShown = true;
        } else {
            if (!bitsStarted && analogShown) {
                screen += kEndLine;  // a blank line between the measurements and the bits
            }
            bitsStarted = true;
            const std::string cells = PadRight(row.column.name, nameWidth) + "  " +
                                      RightAlign(value, valueWidth) + "  " + row.column.unit;
            line = row.changed ? std::string("* ") + kReverse + cells + kNormal : "  " + cells;
        }
        screen += line + kEndLine;
    }
    screen += kEndLine;
    std::string statusLine = "scans " + std::to_string(status.scans) + "   failures " +
                             std::to_string(status.failures) +
                             "   last: " + (status.lastOutcome.empty() ? "-" : status.lastOutcome);
    if (!status.counters.empty()) {
        statusLine += "   " + status.counters;
    }
    screen += statusLine + kEndLine;
    screen += "\x1b[J";  // erase whatever an earlier, longer screen left below
    return screen;
}
