#include "cli/LiveView.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "formats/DisplayWidth.h"
#include "formats/RecordFormat.h"
#include "unit/Alarms.h"

namespace {

constexpr const char* kEndLine = "\x1b[K";  // erase the rest of the old line
constexpr const char* kReverse = "\x1b[7m";
constexpr const char* kFaint = "\x1b[2m";
constexpr const char* kNormal = "\x1b[0m";
constexpr std::size_t kBitsPerLineMost = 4;
// A bit's legend ("0：自动，1：手动") and the meaning of its value ("手动").
constexpr std::size_t kLegendColumns = 16, kMeaningColumns = 4;

// Eight levels, lowest to highest.
constexpr const char* kBars[] = {"▁", "▂", "▃", "▄", "▅", "▆", "▇", "█"};

std::string Sparkline(const std::deque<double>& all, std::size_t room) {
    const auto first = all.end() - static_cast<std::ptrdiff_t>(std::min(room, all.size()));
    if (first == all.end()) {
        return {};
    }
    const auto [lo, hi] = std::minmax_element(first, all.end());
    const double span = *hi - *lo;
    std::string line;
    for (auto v = first; v != all.end(); ++v) {
        int level = 0;
        if (span > 0 && std::isfinite(span)) {
            level = std::clamp(static_cast<int>(std::lround((*v - *lo) / span * 7)), 0, 7);
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

// "17 s", "4 min 5 s", "2 h 10 min".
std::string Span(LiveView::Time from, LiveView::Time to) {
    const long long s =
        std::max<long long>(0, std::chrono::duration_cast<std::chrono::seconds>(to - from).count());
    if (s < 60) {
        return std::to_string(s) + " s";
    }
    if (s < 3600) {
        return std::to_string(s / 60) + " min " + std::to_string(s % 60) + " s";
    }
    return std::to_string(s / 3600) + " h " + std::to_string(s % 3600 / 60) + " min";
}

// What the bit's value means by its legend "0：自动，1：手动": "手动" for "1".
std::string Meaning(const std::string& legend, const std::string& value) {
    const std::string key = value + "：";
    const std::size_t at = legend.find(key);
    if (value.empty() || at == std::string::npos) {
        return {};
    }
    const std::size_t from = at + key.size();
    return legend.substr(from, legend.find("，", from) - from);
}

// The text in lines no wider than width, broken at spaces (a run of spaces
// is kept inside a line, dropped at a break); a word wider than a line is cut.
std::vector<std::string> Wrap(const std::string& text, std::size_t width) {
    std::vector<std::string> lines;
    std::string line;
    for (std::size_t at = 0; at < text.size();) {
        const std::size_t wordStart = text.find_first_not_of(' ', at);
        if (wordStart == std::string::npos) {
            break;
        }
        const std::size_t wordEnd = std::min(text.find(' ', wordStart), text.size());
        const std::string gap = text.substr(at, wordStart - at);
        const std::string word = text.substr(wordStart, wordEnd - wordStart);
        if (!line.empty() && DisplayWidth(line + gap + word) > width) {
            lines.push_back(line);
            line.clear();
        }
        line = CutToWidth(line.empty() ? word : line + gap + word, width);
        at = wordEnd;
    }
    if (!line.empty()) {
        lines.push_back(line);
    }
    return lines;
}

std::string Styled(const std::string& text, bool reverse, bool faint) {
    if (!reverse && !faint) {
        return text;
    }
    return std::string(reverse ? kReverse : "") + (faint ? kFaint : "") + text + kNormal;
}

}  // namespace

LiveView::LiveView(std::vector<SignalReading> columns, Time start) : start_(start) {
    for (SignalReading& c : columns) {
        Row row;
        row.column = std::move(c);
        rows_.push_back(std::move(row));
    }
}

void LiveView::Add(const ReadRecord& record) {
    stale_ = record.outcome != ReadOutcome::Reply;
    if (stale_) {
        return;
    }
    lastReply_ = record.time;
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
        } else if (!row.text.empty() && row.text != r->text) {
            row.changedAt = record.time;  // marked until it changes again
            latestChange_ = record.time;
        }
        row.text = r->text;
    }
}

void LiveView::PortLost(Time since) {
    lost_ = true;
    stale_ = true;
    lostSince_ = since;
}

void LiveView::PortBack(Time at) {
    lost_ = false;
    backAt_ = at;
}

std::vector<std::string> LiveView::HeaderLines(Time now, std::size_t width) const {
    const std::string header =
        "k40ctl watch   last reply " + (lastReply_ ? ClockTime(*lastReply_) : std::string("-"));
    std::vector<std::string> lines;
    if (stale_) {
        const std::string stale =
            "stale: no data for " + Span(lastReply_.value_or(start_), now);
        const std::string plain = CutToWidth(header + "   " + stale, width);
        lines.push_back(plain.size() <= header.size() + 3
                            ? plain
                            : header + "   " + Styled(plain.substr(header.size() + 3), true, false));
    } else {
        lines.push_back(CutToWidth(header, width));
    }
    if (BitCount() > 0 && lastReply_) {
        const std::string alarms = AlarmLine();
        lines.push_back(Styled(CutToWidth(alarms, width), alarms.rfind("ALARM", 0) == 0, false));
    }
    // The outage stays on the screen: while it lasts, and once over, when it was.
    if (lost_) {
        lines.push_back(Styled(
            CutToWidth("port lost since " + ClockTime(lostSince_) + ", reopening", width), true,
            false));
    } else if (backAt_) {
        lines.push_back(CutToWidth("port lost " + ClockTime(lostSince_) + " to " +
                                       ClockTime(*backAt_) + " (" + Span(lostSince_, *backAt_) + ")",
                                   width));
    }
    return lines;
}

// The alarms the last reply's bits raise, in words (a highlight alone says
// nothing to a reader who cannot tell it): "ALARM 交流停电 critical, ..." or
// "alarms: none".
std::string LiveView::AlarmLine() const {
    std::vector<SignalReading> bits;
    for (const Row& row : rows_) {
        if (!row.column.analog && !row.text.empty()) {
            bits.push_back(row.column);
            bits.back().value = row.text != "0";
        }
    }
    std::string line;
    for (const RaisedAlarm& a : RaisedAlarms(bits)) {
        line += (line.empty() ? "ALARM " : ", ") + a.name + " " + SeverityWord(a.meaning->severity);
    }
    return line.empty() ? "alarms: none" : line;
}

std::vector<std::string> LiveView::AnalogLines(std::size_t width) const {
    std::size_t nameWidth = 0, valueWidth = 1, unitWidth = 0, changeWidth = 0;
    for (const Row& row : rows_) {
        if (row.column.analog) {
            nameWidth = std::max(nameWidth, DisplayWidth(row.column.name));
            valueWidth = std::max(valueWidth, DisplayWidth(row.text));
            unitWidth = std::max(unitWidth, DisplayWidth(ShownUnit(row.column)));
            changeWidth = std::max(changeWidth, DisplayWidth(row.change));
        }
    }
    std::vector<std::string> lines;
    for (const Row& row : rows_) {
        if (!row.column.analog) {
            continue;
        }
        std::string line = "  " + PadRight(row.column.name, nameWidth) + "  " +
                           RightAlign(row.text.empty() ? "-" : row.text, valueWidth) + " " +
                           PadRight(ShownUnit(row.column), unitWidth) + "  " +
                           RightAlign(row.change, changeWidth) + "  ";
        const std::size_t used = DisplayWidth(line);
        line = CutToWidth(line + Sparkline(row.history, width > used ? width - used : 0), width);
        lines.push_back(Styled(line, false, stale_));
    }
    return lines;
}

std::string LiveView::BitCell(const Row& row, bool legend, std::size_t nameWidth) const {
    const bool changed = row.changedAt.has_value();
    const std::string value = row.text.empty() ? "-" : row.text;
    std::string cell = std::string(changed ? "* " : "  ") + PadRight(row.column.name, nameWidth) +
                       "  " + value + " " +
                       PadRight(legend ? row.column.unit : Meaning(row.column.unit, row.text),
                                legend ? kLegendColumns : kMeaningColumns) +
                       "  " + (changed ? ClockTime(*row.changedAt) : std::string(8, ' '));
    return cell;
}

std::vector<std::string> LiveView::BitLines(std::size_t perLine, std::size_t width) const {
    std::vector<const Row*> bits;
    for (const Row& row : rows_) {
        if (!row.column.analog) {
            bits.push_back(&row);
        }
    }
    const std::size_t nameWidth = BitNameWidth();
    const std::size_t count = (bits.size() + perLine - 1) / perLine;
    const std::size_t cellWidth = perLine > 1 ? (width - 2 * (perLine - 1)) / perLine : width;
    std::vector<std::string> lines(count);
    for (std::size_t i = 0; i < bits.size(); ++i) {
        const Row& row = *bits[i];
        // Down the columns, then across.
        const bool last = i / count + 1 >= perLine;
        const std::string cell = CutToWidth(BitCell(row, perLine == 1, nameWidth), cellWidth);
        const bool latest = row.changedAt.has_value() && row.changedAt == latestChange_;
        lines[i % count] +=
            Styled(last ? cell : PadRight(cell, cellWidth), latest, stale_) + (last ? "" : "  ");
    }
    return lines;
}

std::size_t LiveView::BitNameWidth() const {
    std::size_t width = 0;
    for (const Row& row : rows_) {
        width = std::max(width, row.column.analog ? 0 : DisplayWidth(row.column.name));
    }
    return width;
}

std::size_t LiveView::BitCellWidth(bool legend) const {
    const std::size_t nameWidth = BitNameWidth();
    std::size_t widest = 0;
    for (const Row& row : rows_) {
        widest = std::max(widest,
                          row.column.analog ? 0 : DisplayWidth(BitCell(row, legend, nameWidth)));
    }
    return widest;
}

// As few status bits to a line as the height allows, with blank lines between
// the parts when there is room for them. When whole cells do not fit, they
// are cut, down to the mark, the name and the value.
LiveView::BitsLayout LiveView::ChooseBitsLayout(std::size_t bitCount, std::size_t fixedLines,
                                                std::size_t blankLines, std::size_t width,
                                                std::size_t height) const {
    const std::size_t whole = BitCellWidth(false), least = 2 + BitNameWidth() + 3;
    const auto across = [&](std::size_t c, std::size_t cell) {
        return c == 1 || c * cell + 2 * (c - 1) <= width;
    };
    const auto fits = [&](std::size_t c, bool blanks) {
        return fixedLines + (bitCount + c - 1) / c + (blanks ? blankLines : 0) <= height;
    };
    for (bool blanks : {true, false}) {
        for (std::size_t c = 1; c <= kBitsPerLineMost && across(c, whole); ++c) {
            if (fits(c, blanks)) {
                return {c, blanks};
            }
        }
    }
    std::size_t c = 1;
    while (c < kBitsPerLineMost && across(c + 1, least) && !fits(c, false)) {
        ++c;
    }
    return {c, false};
}

std::vector<std::string> LiveView::StatusLines(const ScanStatus& status, std::size_t width) {
    std::string text = "scans " + std::to_string(status.scans) + "   failures " +
                       std::to_string(status.failures);
    if (status.missed != 0) {
        text += " (" + std::to_string(status.missed) + " while the port was lost)";
    }
    text += "   last: " + (status.lastOutcome.empty() ? "-" : status.lastOutcome);
    if (!status.counters.empty()) {
        text += "   " + status.counters;
    }
    return Wrap(text, width);
}

std::vector<std::string> LiveView::Body(const std::vector<std::string>& analog,
                                        const BitsLayout& bits, std::size_t width) const {
    std::vector<std::string> body = analog;
    if (BitCount() != 0) {
        if (bits.blanks && !analog.empty()) {
            body.emplace_back();
        }
        for (std::string& l : BitLines(bits.perLine, width)) {
            body.push_back(std::move(l));
        }
    }
    return body;
}

// A screen too small for everything loses the end of the rows, never the
// header or the status lines; it says how much is left out (a raw read may
// have far more values than a screen has lines) rather than lose it silently.
void LiveView::FitBody(std::vector<std::string>& body, std::size_t room, std::size_t width) {
    if (body.size() > room && room > 0) {
        const std::size_t hidden = body.size() - (room - 1);
        body.resize(room - 1);
        body.push_back(Wrap("... " + std::to_string(hidden) +
                                " more lines: a taller terminal, or --format csv or json",
                            width)
                           .front());
    }
    body.resize(std::min(body.size(), room));
}

std::size_t LiveView::BitCount() const {
    return static_cast<std::size_t>(
        std::count_if(rows_.begin(), rows_.end(), [](const Row& r) { return !r.column.analog; }));
}

std::string LiveView::Render(const ScanStatus& status, TermSize size, Time now) const {
    // The last column stays empty: a character written there leaves the cursor
    // waiting to wrap, and the erase after it would take the character away.
    const std::size_t width = static_cast<std::size_t>(std::max(size.columns - 1, 10));
    const std::size_t height = static_cast<std::size_t>(std::max(size.rows, 1));
    const std::vector<std::string> header = HeaderLines(now, width);
    const std::vector<std::string> analog = AnalogLines(width);
    const std::vector<std::string> statusLines = StatusLines(status, width);

    const std::size_t bitCount = BitCount();
    const BitsLayout bits =
        ChooseBitsLayout(bitCount, header.size() + analog.size() + statusLines.size(),
                         (analog.empty() ? 1 : 2) + (bitCount == 0 ? 0 : 1), width, height);
    std::vector<std::string> body = Body(analog, bits, width);
    const std::size_t around = header.size() + statusLines.size() + (bits.blanks ? 2 : 0);
    FitBody(body, height > around ? height - around : 0, width);
    if (bits.blanks) {
        body.insert(body.begin(), std::string());
        body.emplace_back();
    }
    std::vector<std::string> lines = header;
    lines.insert(lines.end(), body.begin(), body.end());
    lines.insert(lines.end(), statusLines.begin(), statusLines.end());
    lines.resize(std::min(lines.size(), height));

    std::string screen = "\x1b[H";
    for (std::size_t i = 0; i < lines.size(); ++i) {
        // No line feed after the last line: on the terminal's last row it would scroll.
        screen += lines[i] + kEndLine + (i + 1 < lines.size() ? "\n" : "");
    }
    screen += "\x1b[J";  // erase whatever an earlier, longer screen left below
    return screen;
}
