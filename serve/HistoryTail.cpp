#include "serve/HistoryTail.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <string_view>

#include "base/Files.h"
#include "serve/ScanLine.h"

namespace {

constexpr std::size_t kBlock = 1u << 20;
// A record of all is about 2 KB; a longer line is no record, and a file
// without line ends is not read whole in search of one.
constexpr std::size_t kLongestLine = 64u * 1024;
// Enough of a line to read its time: {"time":" and 29 characters.
constexpr std::size_t kHead = 64;

// The start of a line for a message: up to 48 bytes, not cut inside a
// character (UTF-8), nor beyond the line.
std::string Quote(std::string_view head) {
    std::string_view text = head.substr(0, head.find_first_of("\r\n"));
    if (text.size() <= 48) {
        return std::string(text);
    }
    std::size_t cut = 48;
    while (cut > 0 && (static_cast<unsigned char>(text[cut]) & 0xC0) == 0x80) {
        --cut;
    }
    return std::string(text.substr(0, cut)) + "...";
}

// As watch --output refuses a CSV of another layout: what the file holds, and
// what serve would append.
std::string LayoutRefusal(const std::string& path, std::uint64_t at, std::string_view line,
                          const std::string& what) {
    const std::string where = "its line at byte " + std::to_string(at);
    const std::string holds = what.rfind("the records of ", 0) == 0
                                  ? what + " (" + where + ")"
                                  : "another layout (" + where + ": " + Quote(line) + ": " + what + ")";
    return path + " holds " + holds +
           "; serve writes the records of watch all --format json: not appended, name another file";
}

std::string CannotRead(const std::string& path) {
    return "cannot read " + path + ": " + std::strerror(errno);
}

// Walks the line starts of the file from its end backwards and keeps where
// the lines to read begin and end. Each line start is checked for a record's
// time on the way; the lines themselves are read forwards afterwards.
class TailFinder {
public:
    TailFinder(const std::string& path, const TailWanted& wanted, std::uint64_t size)
        : path_(path), wanted_(wanted), size_(size), end_(size), from_(size), newer_(size) {}

    // A line starts at offset at, with head its first bytes. False: stop,
    // Refused() tells whether for a line that is no record.
    bool Start(std::uint64_t at, std::string_view head) {
        if (!endKnown_) {
            // The first start from the end: any bytes after it are a line cut short.
            endKnown_ = true;
            end_ = from_ = newer_ = at;
            return size_ == at || (size_ - at <= kLongestLine &&
                                   ScanLineReader::MayStartRecord(head)) ||
                   Refuse(at, head, "a last line without its line end that is no record");
        }
        std::chrono::system_clock::time_point time;
        if (newer_ - at - 1 > kLongestLine) {
            return Refuse(at, head, "a line longer than any record");
        }
        if (!ScanLineReader::LineTime(head, &time)) {
            return Refuse(at, head, "not a record, which starts {\"time\":\"");
        }
        if (count_ > 0 && time < wanted_.since) {
            return false;
        }
        from_ = newer_ = at;
        return ++count_ < wanted_.most;
    }
    // Everything from offset at on was read: false when the line there has
    // no start within the longest a record has.
    bool Reached(std::uint64_t at) {
        return newer_ - at <= kLongestLine + 1 || Refuse(at, {}, "a line longer than any record");
    }

    bool Refused() const { return !why_.empty(); }
    const std::string& Why() const { return why_; }
    std::uint64_t From() const { return from_; }
    std::uint64_t End() const { return end_; }

private:
    bool Refuse(std::uint64_t at, std::string_view head, const std::string& what) {
        why_ = LayoutRefusal(path_, at, head, what);
        return false;
    }

    const std::string& path_;
    const TailWanted wanted_;
    const std::uint64_t size_;
    std::uint64_t end_, from_, newer_;  // newer_: the line start found last
    std::size_t count_ = 0;
    bool endKnown_ = false;
    std::string why_;
};

// Reads the file backwards a block at a time, each block with the first
// bytes of the one after it, so that a line starting at its end has its head.
bool FindTail(std::FILE* file, const std::string& path, std::uint64_t size, TailFinder* finder,
              std::string* why) {
    std::string block, after;
    for (std::uint64_t hi = size; hi > 0;) {
        const std::uint64_t lo = hi > kBlock ? hi - kBlock : 0;
        const std::size_t n = static_cast<std::size_t>(hi - lo);
        if (!ReadFileAt(file, lo, n, &block) || block.size() != n) {
            *why = CannotRead(path);
            return false;
        }
        const std::string first = block.substr(0, kHead);
        block += after;
        const std::string_view view(block);
        bool going = true;
        for (std::size_t nl = view.rfind('\n', n - 1); going && nl != std::string_view::npos;
             nl = nl == 0 ? std::string_view::npos : view.rfind('\n', nl - 1)) {
            going = finder->Start(lo + nl + 1, view.substr(nl + 1, kHead));
        }
        going = going && (lo > 0 ? finder->Reached(lo) : finder->Start(0, first));
        if (!going) {
            *why = finder->Why();
            return !finder->Refused();
        }
        after = first;
        hi = lo;
    }
    return true;
}

// The lines from offset from to end (after a line end), each read into its
// record and restored, oldest first.
bool ReadForward(std::FILE* file, const std::string& path, std::uint64_t from, std::uint64_t end,
                 const std::function<void(const ReadRecord&)>& restore, HistoryLoad* load,
                 std::string* why) {
    const ScanLineReader reader;
    ReadRecord record;
    std::string block, carried;  // carried: the start of a line the last block ended in
    std::uint64_t lineAt = from;
    for (std::uint64_t at = from; at < end;) {
        const std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(kBlock, end - at));
        if (!ReadFileAt(file, at, n, &block) || block.size() != n) {
            *why = CannotRead(path);
            return false;
        }
        std::size_t begin = 0;
        for (std::size_t nl = block.find('\n'); nl != std::string::npos;
             nl = block.find('\n', begin)) {
            std::string_view line = std::string_view(block).substr(begin, nl - begin);
            if (!carried.empty()) {
                carried += line;
                line = carried;
            }
            std::string what;
            if (!reader.Read(line, &record, &what)) {
                *why = LayoutRefusal(path, lineAt, line, what);
                load->otherLayout = true;
                return false;
            }
            restore(record);
            ++load->scans;
            carried.clear();
            begin = nl + 1;
            lineAt = at + begin;
        }
        carried.append(block, begin, std::string::npos);
        at += n;
    }
    return true;
}

}  // namespace

bool ReadHistoryTail(std::FILE* file, const std::string& path, const TailWanted& wanted,
                     const std::function<void(const ReadRecord&)>& restore, HistoryLoad* load,
                     std::string* why) {
    const FileStatus st = StatOpenFile(file);
    if (st.kind != FileKind::Regular) {
        *why = path + " is no regular file";
        return false;
    }
    TailFinder finder(path, wanted, st.size);
    if (!FindTail(file, path, st.size, &finder, why)) {
        load->otherLayout = finder.Refused();
        return false;
    }
    if (!ReadForward(file, path, finder.From(), finder.End(), restore, load, why)) {
        return false;
    }
    if (finder.End() < st.size) {
        if (!TruncateFile(file, finder.End())) {
            *why = "cannot cut the last line off " + path + ": " + std::strerror(errno);
            return false;
        }
        load->cutBytes = st.size - finder.End();
    }
    return true;
}
