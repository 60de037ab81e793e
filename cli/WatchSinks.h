// The watch's own sinks: the records on standard output or in a file (table,
// live view, CSV, JSON Lines), the Prometheus textfile, and the messages and
// summary on standard error (master/LinkLog.h).
#pragma once

#include <cstdio>
#include <string>
#include <vector>

#include "cli/CtlOptions.h"
#include "cli/LiveView.h"
#include "master/Poller.h"

// The records of the scans in --format, on standard output or appended to
// --output (reopened by name after SIGHUP), or the live view on a terminal.
class RecordSink : public PollSink {
public:
    RecordSink(const CtlOptions& o, std::vector<SignalReading> columns);
    ~RecordSink() override;
    // Opens --output (a new or empty CSV gets the header) and clears a live
    // terminal. False (errno set) when the file cannot be opened.
    bool Start();
    // Whether the live view owns the terminal (messages would be erased).
    bool Live() const { return live_; }

    void OnScan(const ReadRecord& record, const ScanStatus& status) override;
    void OnMissedScan(const ScanStatus& status) override;
    void OnLink(const LinkEvent& event) override;
    bool Failed() const override { return failed_; }
    void OnEnd(const ScanStatus& status) override;

private:
    bool OpenOutput();
    void WriteCsvHeaderIfEmpty();
    void Write(const std::string& text);
    void Fail(const std::string& what);
    void TakeReopen();
    void Show(const ReadRecord* record, const ScanStatus& status);

    const CtlOptions& o_;
    const std::vector<SignalReading> columns_;
    LiveView view_;
    std::FILE* out_ = stdout;
    bool live_ = false;
    bool failed_ = false;
};

// The Prometheus textfile, replaced whole after every scan (node_exporter's
// textfile collector reads it at any moment).
class PromFileSink : public PollSink {
public:
    PromFileSink(const CtlOptions& o, std::vector<SignalReading> columns);
    void OnScan(const ReadRecord& record, const ScanStatus& status) override;
    void OnMissedScan(const ScanStatus& status) override;
    bool Failed() const override { return failed_; }

private:
    void Publish(const ReadRecord& record, const ScanStatus& status);

    const CtlOptions& o_;
    const std::vector<SignalReading> columns_;
    bool failed_ = false;
};
