// The watch's own sinks: the records on standard output or in a file (table,
// live view, CSV, JSON Lines), the Prometheus textfile, and the messages and
// summary on standard error. `watch` uses all three, `serve` the last.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

#include "cli/CtlOptions.h"
#include "cli/LiveView.h"
#include "cli/poll/Poller.h"

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

    void OnScan(const ReadRecord& record, const WatchStatus& status) override;
    void OnMissedScan(const WatchStatus& status) override;
    void OnLink(const LinkEvent& event) override;
    int Failure() const override { return result_; }
    void OnEnd(const WatchStatus& status) override;

private:
    bool OpenOutput();
    void WriteCsvHeaderIfEmpty();
    void Write(const std::string& text);
    void Fail(const std::string& what);
    void TakeReopen();
    void Show(const ReadRecord* record, const WatchStatus& status);

    const CtlOptions& o_;
    const std::vector<SignalReading> columns_;
    LiveView view_;
    std::FILE* out_ = stdout;
    bool live_ = false;
    int result_ = kExitReply;
};

// The Prometheus textfile, replaced whole after every scan (node_exporter's
// textfile collector reads it at any moment).
class PromFileSink : public PollSink {
public:
    PromFileSink(const CtlOptions& o, std::vector<SignalReading> columns);
    void OnScan(const ReadRecord& record, const WatchStatus& status) override;
    void OnMissedScan(const WatchStatus& status) override;
    int Failure() const override { return result_; }

private:
    void Publish(const ReadRecord& record, const WatchStatus& status);

    const CtlOptions& o_;
    const std::vector<SignalReading> columns_;
    int result_ = kExitReply;
};

// The port's loss and return on standard error (unless quiet: the live view
// shows them on the same terminal), and the summary at the end.
class LogSink : public PollSink {
public:
    LogSink(const UnitLink& link, bool quiet) : link_(link), quiet_(quiet) {}
    void OnScan(const ReadRecord&, const WatchStatus&) override {}
    void OnLink(const LinkEvent& event) override;
    void OnEnd(const WatchStatus& status) override;

private:
    const UnitLink& link_;
    bool quiet_;
};
