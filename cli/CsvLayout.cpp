#include "cli/CsvLayout.h"

#include "base/Files.h"
#include "cli/RecordFormat.h"
#include "unit/Readings.h"

namespace {

constexpr std::size_t kHeaderMost = 64 * 1024;  // far more than any header k40ctl writes
constexpr WatchScope kScopes[] = {WatchScope::Analog, WatchScope::Bits, WatchScope::All};

const char* ScopeWord(WatchScope scope) {
    switch (scope) {
        case WatchScope::Analog:
            return "ai";
        case WatchScope::Bits:
            return "di";
        case WatchScope::Raw:
            return "read";
        case WatchScope::All:
            break;
    }
    return "all";
}

// The header without its line end.
std::string HeaderLine(WatchScope scope, const RawRead& raw = {}) {
    std::string header = CsvHeader(WatchColumns(scope, raw));
    return header.substr(0, header.find_first_of("\r\n"));
}

// "the layout of watch all (27 columns)", or for a header k40ctl does not
// write, the header itself.
std::string Layout(const std::string& header) {
    for (WatchScope scope : kScopes) {
        if (header == HeaderLine(scope)) {
            return std::string("the layout of watch ") + ScopeWord(scope) + " (" +
                   std::to_string(WatchColumns(scope).size() + 3) + " columns)";
        }
    }
    return "another layout (its header: " + header + ")";
}

}  // namespace

std::vector<SignalReading> WatchColumns(WatchScope scope, const RawRead& raw) {
    switch (scope) {
        case WatchScope::Analog:
            return AnalogColumns();
        case WatchScope::Bits:
            return BitColumns();
        case WatchScope::Raw:
            return RawColumns(raw);
        case WatchScope::All:
            break;
    }
    std::vector<SignalReading> all = AnalogColumns();
    const std::vector<SignalReading> bits = BitColumns();
    all.insert(all.end(), bits.begin(), bits.end());
    return all;
}

bool CheckCsvLayout(const std::string& path, WatchScope scope, std::string* why,
                    const RawRead& raw) {
    // Only a regular file has a header to keep (not /dev/full, not a FIFO).
    const FileStatus st = StatFile(path);
    if (st.kind != FileKind::Regular || st.size == 0) {
        return true;  // nothing there yet (a file that cannot be read fails when opened)
    }
    std::string first = ReadFileStart(path, kHeaderMost);
    first = first.substr(0, first.find_first_of("\r\n"));
    const std::string ours = HeaderLine(scope, raw);
    if (first == ours) {
        return true;
    }
    *why = path + " holds " + Layout(first) + "; this watch writes " +
           (scope == WatchScope::Raw ? "the layout of watch read (" + ours + ")" : Layout(ours)) +
           ": not appended, name another file";
    return false;
}
