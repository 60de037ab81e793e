#include "cli/CsvLayout.h"

#include "base/Files.h"
#include "formats/RecordFormat.h"
#include "unit/Readings.h"

namespace {

constexpr std::size_t kHeaderMost = 64 * 1024;  // far more than any header k40ctl writes
constexpr ScanScope kScopes[] = {ScanScope::Analog, ScanScope::Bits, ScanScope::All};

const char* ScopeWord(ScanScope scope) {
    switch (scope) {
        case ScanScope::Analog:
            return "ai";
        case ScanScope::Bits:
            return "di";
        case ScanScope::Raw:
            return "read";
        case ScanScope::All:
            break;
    }
    return "all";
}

// The header without its line end.
std::string HeaderLine(ScanScope scope, const RawRead& raw = {}) {
    std::string header = CsvHeader(ScanColumns(scope, raw));
    return header.substr(0, header.find_first_of("\r\n"));
}

// "the layout of watch all (27 columns)", or for a header k40ctl does not
// write, the header itself.
std::string Layout(const std::string& header) {
    for (ScanScope scope : kScopes) {
        if (header == HeaderLine(scope)) {
            return std::string("the layout of watch ") + ScopeWord(scope) + " (" +
                   std::to_string(ScanColumns(scope).size() + 3) + " columns)";
        }
    }
    return "another layout (its header: " + header + ")";
}

}  // namespace

bool CheckCsvLayout(const std::string& path, ScanScope scope, std::string* why,
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
           (scope == ScanScope::Raw ? "the layout of watch read (" + ours + ")" : Layout(ours)) +
           ": not appended, name another file";
    return false;
}
