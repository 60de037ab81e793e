// serve's history on disk: every scan appended to a file as its JSON Lines
// record (the very bytes of `watch all --format json`), and the newest of
// them read back when serve starts, so that a restart keeps the trend of the
// hours before it. Log rotation moves the file away and asks for a new one
// (serve's SIGHUP): the next scan goes into a file opened anew by its name.
#pragma once

#include <cstdint>
#include <cstdio>
#include <functional>
#include <string>

#include "master/Poller.h"
#include "serve/HistoryTail.h"

class HistoryFile : public PollSink {
public:
    // reopenRequested: asked before each scan is written, true once for each
    // request to reopen the file. Messages go to log.
    HistoryFile(std::string path, std::function<bool()> reopenRequested, std::FILE* log);
    ~HistoryFile() override;
    HistoryFile(const HistoryFile&) = delete;
    HistoryFile& operator=(const HistoryFile&) = delete;

    // Opens the file for appending (made when missing) and reads back the
    // scans wanted into restore (see ReadHistoryTail). False, with the reason
    // in *why, when it cannot be opened or holds other lines than records.
    bool Open(const TailWanted& wanted, const std::function<void(const ReadRecord&)>& restore,
              HistoryLoad* load, std::string* why);

    void OnScan(const ReadRecord& record, const ScanStatus& status) override;
    void OnMissedScan(const ScanStatus& status) override;
    void OnEnd(const ScanStatus& status) override;

private:
    void Use(std::FILE* file);
    void TakeReopen();
    void Append(const std::string& line);

    const std::string path_;
    const std::function<bool()> reopenRequested_;
    std::FILE* const log_;
    std::FILE* file_ = nullptr;
    std::uint64_t size_ = 0;  // the file's bytes up to the end of the last record
    bool failing_ = false;    // the last record could not be written
};
