#include "serve/HistoryFile.h"

#include <cerrno>
#include <cstring>
#include <utility>

#include "base/Files.h"
#include "formats/RecordFormat.h"

namespace {

// Unbuffered: a record goes out in one write, and one that failed leaves
// nothing behind in a buffer to be written before the next.
std::FILE* OpenUnbuffered(const std::string& path, const char* mode) {
    std::FILE* file = OpenFile(path, mode);
    if (file != nullptr) {
        std::setvbuf(file, nullptr, _IONBF, 0);
    }
    return file;
}

}  // namespace

HistoryFile::HistoryFile(std::string path, std::function<bool()> reopenRequested,
                         std::FILE* log)
    : path_(std::move(path)), reopenRequested_(std::move(reopenRequested)), log_(log) {}

HistoryFile::~HistoryFile() {
    if (file_ != nullptr) {
        std::fclose(file_);
    }
}

bool HistoryFile::Open(const TailWanted& wanted,
                       const std::function<void(const ReadRecord&)>& restore, HistoryLoad* load,
                       std::string* why) {
    const FileKind kind = StatFile(path_).kind;
    if (kind != FileKind::Regular && kind != FileKind::Missing) {
        *why = path_ + " is no regular file";
        return false;
    }
    std::FILE* file = OpenUnbuffered(path_, "a+b");
    if (file == nullptr) {
        *why = "cannot open " + path_ + ": " + std::strerror(errno);
        return false;
    }
    if (!ReadHistoryTail(file, path_, wanted, restore, load, why)) {
        std::fclose(file);
        return false;
    }
    Use(file);
    return true;
}

void HistoryFile::Use(std::FILE* file) {
    if (file_ != nullptr) {
        std::fclose(file_);
    }
    file_ = file;
    size_ = StatOpenFile(file_).size;
}

void HistoryFile::TakeReopen() {
    if (!reopenRequested_ || !reopenRequested_()) {
        return;
    }
    std::FILE* file = OpenUnbuffered(path_, "ab");
    if (file == nullptr) {
        // Nothing is lost: the records go on into the file as it was opened.
        std::fprintf(log_, "k40ctl: cannot reopen %s: %s; writing on to the file as it was\n",
                     path_.c_str(), std::strerror(errno));
        return;
    }
    Use(file);
}

// A record that could not be written whole is cut off again, so that the next
// one starts on a line of its own. serve goes on: the history in memory and
// the HTTP side do not depend on the disk; the file is tried at every scan.
void HistoryFile::Append(const std::string& line) {
    if (file_ == nullptr) {
        return;
    }
    if (std::fwrite(line.data(), 1, line.size(), file_) == line.size() &&
        std::fflush(file_) == 0) {
        size_ += line.size();
        if (failing_) {
            std::fprintf(log_, "k40ctl: writing %s again\n", path_.c_str());
        }
        failing_ = false;
        return;
    }
    const int error = errno;
    std::clearerr(file_);
    (void)TruncateFile(file_, size_);
    if (!failing_) {
        std::fprintf(log_, "k40ctl: cannot write %s: %s; the scans are kept in memory only until "
                           "it can be written again\n",
                     path_.c_str(), std::strerror(error));
    }
    failing_ = true;
}

void HistoryFile::OnScan(const ReadRecord& record, const ScanStatus&) {
    TakeReopen();
    Append(JsonLine(record));
}

void HistoryFile::OnMissedScan(const ScanStatus&) {
    TakeReopen();
}

void HistoryFile::OnEnd(const ScanStatus&) {
    if (file_ != nullptr) {
        std::fclose(file_);
        file_ = nullptr;
    }
}
