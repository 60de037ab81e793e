// The newest scans of serve's history file read back when serve starts: the
// file is read from its end backwards to the oldest line wanted (a day of
// lines is hundreds of MB; the older ones are never read), then those lines
// forwards, each into its record.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <string>

#include "master/ReadRecord.h"

struct HistoryLoad {
    std::size_t scans = 0;       // restored
    std::uint64_t cutBytes = 0;  // a last line a crash cut short, taken off the file
    bool otherLayout = false;    // refused: a line read is no record of a scan of all
};

struct TailWanted {
    std::size_t most = 0;  // at most this many scans (at least the newest one is read)
    std::chrono::system_clock::time_point since;  // none made before (but the newest)
};

// Reads back from the open file (named path in messages) the newest scans
// wanted, oldest first, into restore. A last line without its line end (the
// write a crash cut short) is skipped and cut off the file, so that the next
// record does not run on from it. False, with the reason in *why, when the
// file cannot be read or a line read is no record of a scan of all (then
// load->otherLayout): then nothing has been cut.
bool ReadHistoryTail(std::FILE* file, const std::string& path, const TailWanted& wanted,
                     const std::function<void(const ReadRecord&)>& restore, HistoryLoad* load,
                     std::string* why);
