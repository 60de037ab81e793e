#include "cli/WatchSinks.h"

#include <cerrno>
#include <chrono>
#include <cstring>

#include "base/Files.h"
#include "cli/AtomicFile.h"
#include "cli/Console.h"
#include "cli/RawCommand.h"
#include "cli/StopSignal.h"
#include "formats/PrometheusText.h"
#include "formats/RecordFormat.h"

namespace {

using Wall = std::chrono::system_clock;

// Writes the whole text and flushes it; false (errno set) when any of it failed.
bool WriteAll(std::FILE* file, const std::string& text) {
    return std::fwrite(text.data(), 1, text.size(), file) == text.size() && std::fflush(file) == 0;
}

TermSize TerminalSize() {
    TermSize size;
    (void)ConsoleSize(size.columns, size.rows);
    return size;
}

void CannotWrite(const CtlOptions& o, const std::string& what) {
    std::fprintf(stderr, "k40ctl: cannot write %s: %s\n",
                 o.output.empty() ? "standard output" : o.output.c_str(), what.c_str());
}

}  // namespace

RecordSink::RecordSink(const CtlOptions& o, std::vector<SignalReading> columns)
    : o_(o), columns_(std::move(columns)), view_(columns_, Wall::now()) {}

RecordSink::~RecordSink() {
    if (out_ != stdout) {
        std::fclose(out_);
    }
}

bool RecordSink::Start() {
    if (!o_.output.empty()) {
        if (!OpenOutput()) {
            return false;
        }
    } else if (o_.format == OutputFormat::Csv) {
        WriteCsvHeaderIfEmpty();
    }
    live_ = o_.format == OutputFormat::Table && o_.output.empty() && IsLiveTerminal(1);
    if (live_) {
        Write("\x1b[2J");
    }
    return true;
}

// The file as --output names it, opened for appending; a new or empty CSV
// file gets the header. A CSV file that holds another layout was refused
// before (CheckCsvLayout).
bool RecordSink::OpenOutput() {
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
void RecordSink::WriteCsvHeaderIfEmpty() {
    const FileStatus st = StatOpenFile(out_);
    const bool empty = st.kind != FileKind::Regular || st.size == 0;
    if (o_.format == OutputFormat::Csv && empty) {
        Write(CsvHeader(columns_));
    }
}

void RecordSink::Write(const std::string& text) {
    if (!WriteAll(out_, text)) {
        Fail(std::strerror(errno));
    }
}

void RecordSink::Fail(const std::string& what) {
    CannotWrite(o_, what);
    failed_ = true;
}

// After SIGHUP, the next record goes into a file opened anew by its name.
void RecordSink::TakeReopen() {
    if (ReopenRequested() && !o_.output.empty() && !OpenOutput()) {
        // Nothing is lost: the records go on into the file as it was opened.
        std::fprintf(stderr, "k40ctl: cannot reopen %s: %s; writing on to the file as it was\n",
                     o_.output.c_str(), std::strerror(errno));
    }
}

// The table: the live view, or one table a scan (a line for a missed one).
void RecordSink::Show(const ReadRecord* record, const ScanStatus& status) {
    if (live_) {
        Write(view_.Render(status, TerminalSize(), Wall::now()));
    } else if (record != nullptr) {
        Write("# " + Iso8601Local(record->time) + "\n" + FormatTable(*record));
    } else {
        Write("# " + Iso8601Local(Wall::now()) + "\n" + status.lastOutcome + "\n");
    }
}

void RecordSink::OnScan(const ReadRecord& record, const ScanStatus& status) {
    view_.Add(record);
    TakeReopen();
    switch (o_.format) {
        case OutputFormat::Csv:
            Write(CsvRow(record, columns_));
            break;
        case OutputFormat::Json:
            // A watch read writes the records of a read.
            Write(o_.watch.scope == ScanScope::Raw ? RawJsonLine(o_.raw, record)
                                                   : JsonLine(record));
            break;
        case OutputFormat::Table:
            Show(&record, status);
            break;
        case OutputFormat::Prometheus:
            break;
    }
}

// No record in CSV or JSON for a missed scan: no request went out.
void RecordSink::OnMissedScan(const ScanStatus& status) {
    TakeReopen();
    if (o_.format == OutputFormat::Table) {
        Show(nullptr, status);
    }
}

void RecordSink::OnLink(const LinkEvent& event) {
    if (event.kind == LinkEvent::Kind::Lost) {
        view_.PortLost(event.lostSince);
    } else if (event.kind == LinkEvent::Kind::Back) {
        view_.PortBack(event.time);
    }
}

void RecordSink::OnEnd(const ScanStatus&) {
    if (out_ != stdout) {
        std::FILE* file = out_;
        out_ = stdout;
        if (std::fclose(file) != 0 && !failed_) {
            Fail(std::strerror(errno));
        }
    }
}

PromFileSink::PromFileSink(const CtlOptions& o, std::vector<SignalReading> columns)
    : o_(o), columns_(std::move(columns)) {}

void PromFileSink::Publish(const ReadRecord& record, const ScanStatus& status) {
    std::string error;
    if (!WriteFileAtomically(
            o_.output,
            PrometheusText(record, columns_, {o_.port, o_.slave, status.scans, status.failures}),
            &error)) {
        CannotWrite(o_, error);
        failed_ = true;
    }
}

void PromFileSink::OnScan(const ReadRecord& record, const ScanStatus& status) {
    Publish(record, status);
}

// Without values and with k40_up 0 while the port is lost.
void PromFileSink::OnMissedScan(const ScanStatus& status) {
    Publish(ReadRecord{}, status);
}
