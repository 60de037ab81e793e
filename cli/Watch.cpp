#include "cli/Watch.h"

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <thread>

#include "cli/Console.h"
#include "cli/CsvLayout.h"
#include "cli/LiveView.h"
#include "cli/PrometheusText.h"
#include "cli/RawCommand.h"
#include "cli/RecordFormat.h"
#include "cli/StopSignal.h"
#include "unit/Readings.h"

namespace {

using Steady = std::chrono::steady_clock;
using Wall = std::chrono::system_clock;

// A lost port is tried again every second.
constexpr auto kReopenEvery = std::chrono::seconds(1);

ReadRecord Scan(UnitLink& link, const CtlOptions& o) {
    switch (o.scope) {
        case WatchScope::Analog:
            return link.Read(ReadCommand::Analog03);
        case WatchScope::Bits:
            return link.Read(ReadCommand::Coils01);
        case WatchScope::All:
            return link.ReadAll({ReadCommand::Analog03, ReadCommand::Coils01});
        case WatchScope::Raw:
            return RawScan(link, o.raw);
    }
    return {};
}

// Writes the whole text and flushes it; false (errno set) when any of it failed.
bool WriteAll(std::FILE* file, const std::string& text) {
    return std::fwrite(text.data(), 1, text.size(), file) == text.size() && std::fflush(file) == 0;
}

TermSize TerminalSize() {
    TermSize size;
    (void)ConsoleSize(size.columns, size.rows);
    return size;
}

class WatchRun {
public:
    WatchRun(const CtlOptions& o, UnitLink& link)
        : o_(o),
          link_(link),
          columns_(WatchColumns(o.scope, o.raw)),
          view_(columns_, Wall::now()) {}

    int Run();

private:
    bool OpenOutput();
    void WriteCsvHeaderIfEmpty();
    void Write(const std::string& text);
    void ScanOnce();
    void MissScan();
    void Emit(const ReadRecord& record);
    void TakeReopen();
    void Show(const ReadRecord* record);
    void Publish(const ReadRecord& record);
    void TryReopen();
    void Pause(Steady::time_point until);
    void Say(const std::string& message);
    void Fail(const std::string& what);
    bool More() const {
        return result_ == kExitReply && !StopRequested() &&
               (o_.count == 0 || status_.scans < static_cast<std::uint64_t>(o_.count));
    }

    const CtlOptions& o_;
    UnitLink& link_;
    const std::vector<SignalReading> columns_;
    LiveView view_;
    WatchStatus status_;
    std::FILE* out_ = stdout;
    bool live_ = false;
    int result_ = kExitReply;
    Wall::time_point lostSince_{};
    Steady::time_point lastTry_{};
};

// The file as --output names it, opened for appending; a new or empty CSV
// file gets the header. A CSV file that holds another layout was refused
// before (CheckCsvLayout).
bool WatchRun::OpenOutput() {
    std::FILE* file = OpenFile(o_.output, "a");
    if (file == nullptr) {
        return false;
    }
    if (out_ != stdout && std::fclose(out_) != 0) {
        Fail(std::strerror(errno));
    }
    out_ = file;
    WriteCsvHeaderIfEmpty();
    return true;
}

// A header only where the output starts empty (a new file, a pipe, a
// terminal): appending to a log, also through the shell's >>, keeps one header.
void WatchRun::WriteCsvHeaderIfEmpty() {
    struct stat st {};
    const bool empty = fstat(fileno(out_), &st) != 0 || !S_ISREG(st.st_mode) || st.st_size == 0;
    if (o_.format == OutputFormat::Csv && empty) {
        Write(CsvHeader(columns_));
    }
}

void WatchRun::Write(const std::string& text) {
    if (!WriteAll(out_, text)) {
        Fail(std::strerror(errno));
    }
}

void WatchRun::Fail(const std::string& what) {
    std::fprintf(stderr, "k40ctl: cannot write %s: %s\n",
                 o_.output.empty() ? "standard output" : o_.output.c_str(), what.c_str());
    result_ = kExitFailure;
}

// A message on standard error, unless the live view shares the terminal with
// it: the next redraw would erase it, and the view shows the same.
void WatchRun::Say(const std::string& message) {
    if (!live_ || !IsLiveTerminal(2)) {
        std::fprintf(stderr, "k40ctl: %s\n", message.c_str());
    }
}

void WatchRun::ScanOnce() {
    const ReadRecord record = Scan(link_, o_);
    ++status_.scans;
    if (record.outcome != ReadOutcome::Reply) {
        ++status_.failures;
    }
    // The status line keeps the short form; the counters say the rest.
    status_.lastOutcome = record.outcome == ReadOutcome::Timeout
                              ? "no reply (" + record.finding + ")"
                              : OutcomeMessage(record, link_.WaitMs());
    status_.counters = link_.Counters().StatusLine();
    view_.Add(record);
    if (link_.DeviceFailed()) {
        link_.Close();
        lostSince_ = Wall::now();
        lastTry_ = Steady::now();
        view_.PortLost(lostSince_);
        Say(link_.Port() + " failed (error or hang-up); reopening it every second");
    }
    Emit(record);
}

// A scan that fell due while the port was lost: it counts as failed, and the
// outputs get nothing but the truth: no record in CSV or JSON (no request
// went out), the Prometheus file without values and with k40_up 0.
void WatchRun::MissScan() {
    ++status_.scans;
    ++status_.failures;
    ++status_.missed;
    status_.lastOutcome = "port lost since " + ClockTime(lostSince_) + ", reopening";
    TakeReopen();
    if (o_.format == OutputFormat::Table) {
        Show(nullptr);
    } else if (o_.format == OutputFormat::Prometheus) {
        Publish(ReadRecord{});
    }
}

// After SIGHUP, the next record goes into a file opened anew by its name.
void WatchRun::TakeReopen() {
    if (ReopenRequested() && !o_.output.empty() && o_.format != OutputFormat::Prometheus &&
        !OpenOutput()) {
        // Nothing is lost: the records go on into the file as it was opened.
        std::fprintf(stderr, "k40ctl: cannot reopen %s: %s; writing on to the file as it was\n",
                     o_.output.c_str(), std::strerror(errno));
    }
}

// The table: the live view, or one table a scan (a line for a missed one).
void WatchRun::Show(const ReadRecord* record) {
    if (live_) {
        Write(view_.Render(status_, TerminalSize(), Wall::now()));
    } else if (record != nullptr) {
        Write("# " + Iso8601Local(record->time) + "\n" + FormatTable(*record));
    } else {
        Write("# " + Iso8601Local(Wall::now()) + "\n" + status_.lastOutcome + "\n");
    }
}

void WatchRun::Publish(const ReadRecord& record) {
    std::string error;
    if (!WriteFileAtomically(
            o_.output,
            PrometheusText(record, columns_, {o_.port, o_.slave, status_.scans, status_.failures}),
            &error)) {
        Fail(error);
    }
}

void WatchRun::Emit(const ReadRecord& record) {
    TakeReopen();
    switch (o_.format) {
        case OutputFormat::Csv:
            Write(CsvRow(record, columns_));
            break;
        case OutputFormat::Json:
            Write(JsonLine(record));
            break;
        case OutputFormat::Table:
            Show(&record);
            break;
        case OutputFormat::Prometheus:
            Publish(record);
            break;
    }
}

void WatchRun::TryReopen() {
    if (Steady::now() - lastTry_ < kReopenEvery) {
        return;
    }
    lastTry_ = Steady::now();
    std::string why;
    if (link_.Open(&why)) {
        const Wall::time_point now = Wall::now();
        view_.PortBack(now);
        Say(link_.Port() + " is back (lost since " + ClockTime(lostSince_) + ")");
    }
}

// Waits until the time point, in short steps so that a stop signal ends the
// wait, trying a lost port again every second.
void WatchRun::Pause(Steady::time_point until) {
    while (!StopRequested()) {
        const auto now = Steady::now();
        if (now >= until) {
            return;
        }
        if (!link_.IsOpen()) {
            TryReopen();
        }
        std::this_thread::sleep_for(
            std::min<Steady::duration>(until - Steady::now(), std::chrono::milliseconds(50)));
    }
}

int WatchRun::Run() {
    std::string why;
    if (o_.format == OutputFormat::Csv && !o_.output.empty() &&
        !CheckCsvLayout(o_.output, o_.scope, &why, o_.raw)) {
        std::fprintf(stderr, "k40ctl: %s\n", why.c_str());
        return kExitUsage;
    }
    if (!link_.Open(&why)) {
        std::fprintf(stderr, "k40ctl: %s\n", why.c_str());
        return kExitPort;
    }
    const bool toFile = !o_.output.empty() && o_.format != OutputFormat::Prometheus;
    CatchStopSignals(toFile ? HangUp::Reopens : HangUp::Stops);
    if (toFile && !OpenOutput()) {
        std::fprintf(stderr, "k40ctl: cannot open %s: %s\n", o_.output.c_str(),
                     std::strerror(errno));
        return kExitFailure;
    }
    if (!toFile && o_.format == OutputFormat::Csv) {
        WriteCsvHeaderIfEmpty();
    }
    live_ = o_.format == OutputFormat::Table && o_.output.empty() && IsLiveTerminal(1);
    if (live_) {
        Write("\x1b[2J");
    }
    const auto interval = std::chrono::duration_cast<Steady::duration>(
        std::chrono::duration<double>(o_.intervalSeconds));
    while (More()) {
        const auto start = Steady::now();
        if (!link_.IsOpen()) {
            TryReopen();
        }
        if (link_.IsOpen()) {
            ScanOnce();
        } else {
            MissScan();
        }
        if (More()) {
            // While the port is lost, a scan falls due at most once a second.
            Pause(start +
                  (link_.IsOpen() ? interval : std::max<Steady::duration>(interval, kReopenEvery)));
        }
    }
    if (out_ != stdout && std::fclose(out_) != 0 && result_ == kExitReply) {
        Fail(std::strerror(errno));
    }
    std::fprintf(stderr, "k40ctl: %llu scans, %llu failed",
                 static_cast<unsigned long long>(status_.scans),
                 static_cast<unsigned long long>(status_.failures));
    if (status_.missed != 0) {
        std::fprintf(stderr, " (%llu while the port was lost)",
                     static_cast<unsigned long long>(status_.missed));
    }
    std::fprintf(stderr, "\n%s", link_.Counters().Summary().c_str());
    return result_;
}

}  // namespace

int RunWatch(const CtlOptions& o, UnitLink& link) {
    return WatchRun(o, link).Run();
}
