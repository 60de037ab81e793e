#include "serve/ScanHistory.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <limits>
#include <stdexcept>

#include "formats/RecordFormat.h"
#include "master/ScanScope.h"

namespace {

using std::chrono::milliseconds;

// An analog value as the unit's decoding writes it: one decimal, "-12.3".
std::string TenthsText(std::int32_t tenths) {
    const std::int64_t magnitude = tenths < 0 ? -static_cast<std::int64_t>(tenths) : tenths;
    std::string text = tenths < 0 ? "-" : "";
    text += std::to_string(magnitude / 10);
    text += '.';
    text += static_cast<char>('0' + magnitude % 10);
    return text;
}

// The text in tenths; false when TenthsText would not give the text back
// ("-0.0", "220.00", "", a value out of range).
bool TextInTenths(const std::string& text, std::int32_t* tenths) {
    double value = 0;
    const char* last = text.data() + text.size();
    const auto parsed = std::from_chars(text.data(), last, value);
    if (parsed.ec != std::errc() || parsed.ptr != last || !(std::fabs(value) < 2e8)) {
        return false;
    }
    *tenths = static_cast<std::int32_t>(std::llround(value * 10));
    return TenthsText(*tenths) == text;
}

// The texts of a scan that tenths and bits cannot give back, each after its
// length and a colon, and the same split again.
void AppendOdd(const std::string& text, std::string* odd) {
    *odd += std::to_string(text.size()) + ':' + text;
}

std::vector<std::string> SplitOdd(const std::string& odd) {
    std::vector<std::string> texts;
    std::size_t at = 0;
    while (at < odd.size()) {
        const std::size_t colon = odd.find(':', at);
        const std::size_t length = std::stoul(odd.substr(at, colon - at));
        texts.push_back(odd.substr(colon + 1, length));
        at = colon + 1 + length;
    }
    return texts;
}

double Number(const std::string& text) {
    double value = 0;
    std::from_chars(text.data(), text.data() + text.size(), value);
    return value;
}

}  // namespace

ScanHistory::ScanHistory(std::chrono::seconds keep, std::size_t maxScans)
    : keepMs_(std::chrono::duration_cast<milliseconds>(keep).count()),
      maxScans_(std::max<std::size_t>(maxScans, 1)),
      columns_(ScanColumns(ScanScope::All)) {
    const auto analogs = std::count_if(columns_.begin(), columns_.end(),
                                       [](const SignalReading& c) { return c.analog; });
    if (columns_.size() != kAnalogs + kBits || static_cast<std::size_t>(analogs) != kAnalogs) {
        throw std::logic_error("the scan of all has other signals than the history stores");
    }
}

ScanHistory::Scan ScanHistory::Pack(const ReadRecord& record) {
    Scan scan;
    scan.timeMs = std::chrono::duration_cast<milliseconds>(record.time.time_since_epoch()).count();
    scan.responseMs = record.responseMs ? *record.responseMs : std::nan("");
    scan.outcome = static_cast<std::uint8_t>(record.outcome);
    scan.exceptionCode = record.exceptionCode;
    scan.exceptionName = strings_.Intern(record.exceptionName);
    scan.finding = strings_.Intern(record.finding);
    scan.diagnosis = strings_.Intern(record.diagnosis);
    std::string odd;
    bool anyOdd = false;
    for (std::size_t i = 0; i < columns_.size(); ++i) {
        const SignalReading* r = FindReading(record, columns_[i]);
        if (!r) {
            continue;
        }
        scan.present |= 1u << i;
        bool exact = false;
        if (i < kAnalogs) {
            exact = TextInTenths(r->text, &scan.tenths[i]);
        } else {
            const bool on = r->value != 0;
            scan.bits |= static_cast<std::uint16_t>(on ? 1u << (i - kAnalogs) : 0u);
            exact = r->text == (on ? "1" : "0");
        }
        anyOdd = anyOdd || !exact;
        AppendOdd(r->text, &odd);
    }
    if (anyOdd) {
        scan.oddTexts = strings_.Intern(odd);
    }
    return scan;
}

void ScanHistory::Unpack(const Scan& scan, const StringPool& strings, ReadRecord* record) const {
    record->time = Time(std::chrono::duration_cast<Time::duration>(milliseconds(scan.timeMs)));
    record->outcome = static_cast<ReadOutcome>(scan.outcome);
    record->exceptionCode = scan.exceptionCode;
    record->exceptionName = strings.Text(scan.exceptionName);
    record->finding = strings.Text(scan.finding);
    record->diagnosis = strings.Text(scan.diagnosis);
    record->responseMs =
        std::isnan(scan.responseMs) ? std::nullopt : std::optional<double>(scan.responseMs);
    const std::vector<std::string> odd = scan.oddTexts == StringPool::kEmpty
                                             ? std::vector<std::string>()
                                             : SplitOdd(strings.Text(scan.oddTexts));
    std::size_t n = 0;
    for (std::size_t i = 0; i < columns_.size(); ++i) {
        if ((scan.present >> i & 1u) == 0) {
            continue;
        }
        // The names and units stay from the record's last use when it held
        // the same column there: only the value changes from scan to scan.
        if (n == record->values.size()) {
            record->values.push_back(columns_[i]);
        } else if (record->values[n].reg != columns_[i].reg ||
                   record->values[n].analog != columns_[i].analog) {
            record->values[n] = columns_[i];
        }
        SignalReading& r = record->values[n];
        const bool on = i >= kAnalogs && (scan.bits >> (i - kAnalogs) & 1u) != 0;
        if (!odd.empty()) {
            r.text = odd[n];
            r.value = i < kAnalogs ? Number(r.text) : on;
        } else if (i < kAnalogs) {
            r.text = TenthsText(scan.tenths[i]);
            r.value = scan.tenths[i] / 10.0;
        } else {
            r.text = on ? "1" : "0";
            r.value = on;
        }
        ++n;
    }
    record->values.resize(n);
}

void ScanHistory::Add(const ReadRecord& record) {
    Expire(record.time);
    Push(Pack(record));
    while (strings_.MemoryBytes() > kMostTextBytes && size_ > 1) {
        DropOldest();
    }
}

void ScanHistory::Expire(Time now) {
    const std::int64_t nowMs =
        std::chrono::duration_cast<milliseconds>(now.time_since_epoch()).count();
    while (size_ > 0 && ring_[head_].timeMs < nowMs - keepMs_) {
        DropOldest();
    }
}

void ScanHistory::Push(const Scan& scan) {
    if (size_ == maxScans_) {
        DropOldest();
    }
    if (size_ == ring_.size()) {
        // Grown by doubling, so that a short --history never holds a day's ring.
        std::vector<Scan> grown;
        grown.reserve(std::min(maxScans_, std::max<std::size_t>(256, 2 * ring_.size())));
        for (std::size_t i = 0; i < size_; ++i) {
            grown.push_back(ring_[(head_ + i) % ring_.size()]);
        }
        grown.resize(grown.capacity());
        ring_.swap(grown);
        head_ = 0;
    }
    ring_[(head_ + size_) % ring_.size()] = scan;
    ++size_;
    ++end_;
}

void ScanHistory::DropOldest() {
    const Scan& oldest = ring_[head_];
    for (StringPool::Id id :
         {oldest.exceptionName, oldest.finding, oldest.diagnosis, oldest.oddTexts}) {
        strings_.Release(id);
    }
    head_ = (head_ + 1) % ring_.size();
    --size_;
}

const ScanHistory::Scan& ScanHistory::Slot(std::uint64_t sequence) const {
    return ring_[(head_ + static_cast<std::size_t>(sequence - FirstSequence())) % ring_.size()];
}

std::optional<ReadRecord> ScanHistory::At(std::uint64_t sequence) const {
    if (sequence < FirstSequence() || sequence >= end_) {
        return std::nullopt;
    }
    ReadRecord record;
    Unpack(Slot(sequence), strings_, &record);
    return record;
}

std::size_t ScanHistory::MemoryBytes() const {
    std::size_t columns = columns_.capacity() * sizeof(SignalReading);
    for (const SignalReading& c : columns_) {
        columns += StringPool::HeapOf(c.name) + StringPool::HeapOf(c.text) +
                   StringPool::HeapOf(c.unit) + StringPool::HeapOf(c.physicalUnit);
    }
    return sizeof *this + ring_.capacity() * sizeof(Scan) + strings_.MemoryBytes() + columns;
}

std::string ScanHistory::Header(HistoryFormat format) const {
    return format == HistoryFormat::Csv ? CsvHeader(columns_) : std::string();
}

bool ScanHistory::Render(HistoryFormat format, Time since, std::uint64_t* cursor,
                         std::size_t maxScans, std::string* out, std::uint64_t end) const {
    Piece piece;
    const bool any = Copy(since, cursor, maxScans, &piece, end);
    Render(format, piece, out);
    return any;
}

bool ScanHistory::Copy(Time since, std::uint64_t* cursor, std::size_t maxScans, Piece* piece,
                       std::uint64_t end) const {
    // A scan's time is kept to the ms: it is at or after since when its ms
    // are at or after since rounded up to the ms.
    const std::int64_t sinceMs = std::chrono::ceil<milliseconds>(since.time_since_epoch()).count();
    const std::uint64_t stop = std::min(end, end_);
    std::uint64_t sequence = std::max(*cursor, FirstSequence());
    *piece = Piece();
    for (; sequence < stop && piece->scans_.size() < maxScans; ++sequence) {
        Scan scan = Slot(sequence);
        if (scan.timeMs < sinceMs) {
            continue;
        }
        // The texts are almost always none: a scan with a reply names none.
        for (StringPool::Id* id :
             {&scan.exceptionName, &scan.finding, &scan.diagnosis, &scan.oddTexts}) {
            *id = piece->strings_.Intern(strings_.Text(*id));
        }
        piece->scans_.push_back(scan);
    }
    *cursor = std::max(*cursor, sequence);
    return !piece->scans_.empty();
}

void ScanHistory::Render(HistoryFormat format, const Piece& piece, std::string* out) const {
    ReadRecord record;
    for (const Scan& scan : piece.scans_) {
        Unpack(scan, piece.strings_, &record);
        *out += format == HistoryFormat::Csv ? CsvRow(record, columns_) : JsonLine(record);
    }
}
