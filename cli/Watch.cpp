#include "cli/Watch.h"

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <thread>

#include "cli/Console.h"
#include "cli/LiveView.h"
#include "cli/PrometheusText.h"
#include "cli/RecordFormat.h"
#include "cli/StopSignal.h"
#include "unit/Readings.h"

namespace {

// Waits until the time point, in short steps so that a stop signal ends the wait.
void PauseUntil(std::chrono::steady_clock::time_point until) {
    while (!StopRequested()) {
        const auto now = std::chrono::steady_clock::now();
        if (now >= until) {
            return;
        }
        std::this_thread::sleep_for(std::min<std::chrono::steady_clock::duration>(
            until - now, std::chrono::milliseconds(50)));
    }
}

std::vector<SignalReading> ColumnsOf(WatchScope scope) {
    switch (scope) {
        case WatchScope::Analog:
            return AnalogColumns();
        case WatchScope::Bits:
            return BitColumns();
        case WatchScope::All: {
            std::vector<SignalReading> all = AnalogColumns();
            const std::vector<SignalReading> bits = BitColumns();
            all.insert(all.end(), bits.begin(), bits.end());
            return all;
        }
    }
    return {};
}

ReadRecord Scan(UnitLink& link, WatchScope scope) {
    switch (scope) {
        case WatchScope::Analog:
            return link.Read(ReadCommand::Analog03);
        case WatchScope::Bits:
            return link.Read(ReadCommand::Coils01);
        case WatchScope::All:
            return link.ReadAll({ReadCommand::Analog03, ReadCommand::Coils01});
    }
    return {};
}

// Writes the whole text and flushes it; false (errno set) when any of it failed.
bool WriteAll(std::FILE* file, const std::string& text) {
    return std::fwrite(text.data(), 1, text.size(), file) == text.size() && std::fflush(file) == 0;
}

}  // namespace

int RunWatch(const CtlOptions& o, UnitLink& link) {
    std::string why;
    if (!link.Open(&why)) {
        std::fprintf(stderr, "k40ctl: %s\n", why.c_str());
        return kExitPort;
    }
    CatchStopSignals();

    const std::vector<SignalReading> columns = ColumnsOf(o.scope);
    const bool prometheus = o.format == OutputFormat::Prometheus;
    std::FILE* out = stdout;
    const std::string outName = o.output.empty() ? "standard output" : o.output;
    if (!o.output.empty() && !prometheus) {
        out = OpenFile(o.output, "a");
        if (out == nullptr) {
            std::fprintf(stderr, "k40ctl: cannot open %s: %s\n", o.output.c_str(),
                         std::strerror(errno));
            return kExitFailure;
        }
    }
    const bool live = o.format == OutputFormat::Table && o.output.empty() && IsLiveTerminal(1);
    LiveView view(columns);
    WatchStatus status;

    int result = kExitReply;
    auto fail = [&](const std::string& what) {
        std::fprintf(stderr, "k40ctl: cannot write %s: %s\n", outName.c_str(), what.c_str());
        result = kExitFailure;
    };
    if (o.format == OutputFormat::Csv) {
        // A header only into an empty file: appending to a log keeps one header.
        struct stat st {};
        const bool empty = fstat(fileno(out), &st) != 0 || !S_ISREG(st.st_mode) || st.st_size == 0;
        if (empty && !WriteAll(out, CsvHeader(columns))) {
            fail(std::strerror(errno));
        }
    }
    if (live) {
        WriteAll(out, "\x1b[2J");
    }

    const auto interval = std::chrono::duration_cast<std::chrono::steady_clock::duration>(
        std::chrono::duration<double>(o.intervalSeconds));
    bool gone = false;
    while (result == kExitReply && !StopRequested() &&
           (o.count == 0 || status.scans < static_cast<std::uint64_t>(o.count))) {
        const auto start = std::chrono::steady_clock::now();
        if (!link.IsOpen()) {
            // The device vanished: try it again every second, quietly.
            if (link.Open(&why)) {
                std::fprintf(stderr, "k40ctl: %s is back\n", link.Port().c_str());
                gone = false;
            } else {
                PauseUntil(start + std::chrono::seconds(1));
                continue;
            }
        }
        const ReadRecord record = Scan(link, o.scope);
        ++status.scans;
        if (record.outcome != ReadOutcome::Reply) {
            ++status.failures;
        }
        // The status line keeps the short form; the counters say the rest.
        status.lastOutcome = record.outcome == ReadOutcome::Timeout
                                 ? "no reply (" + record.finding + ")"
                                 : OutcomeMessage(record, link.WaitMs());
        status.counters = link.Counters().StatusLine();
        if (link.DeviceFailed()) {
            link.Close();
            if (!gone) {
                std::fprintf(stderr,
                             "k40ctl: %s failed (error or hang-up); reopening it every second\n",
                             link.Port().c_str());
                gone = true;
            }
        }

        bool written = true;
        std::string error;
        switch (o.format) {
            case OutputFormat::Csv:
                written = WriteAll(out, CsvRow(record, columns));
                break;
            case OutputFormat::Json:
                written = WriteAll(out, JsonLine(record));
                break;
            case OutputFormat::Table:
                if (live) {
                    view.Add(record);
                    written = WriteAll(out, view.Render(status));
                } else {
                    written = WriteAll(
                        out, "# " + Iso8601Local(record.time) + "\n" + FormatTable(record));
                }
                break;
            case OutputFormat::Prometheus:
                if (!WriteFileAtomically(
                        o.output, PrometheusText(record, columns, status.failures, status.scans),
                        &error)) {
                    fail(error);
                }
                break;
        }
        if (!written) {
            fail(std::strerror(errno));
        }
        if (o.count == 0 || status.scans < static_cast<std::uint64_t>(o.count)) {
            PauseUntil(start + interval);
        }
    }
    if (out != stdout && std::fclose(out) != 0 && result == kExitReply) {
        fail(std::strerror(errno));
    }
    std::fprintf(stderr, "k40ctl: %llu scans, %llu failed\n",
                 static_cast<unsigned long long>(status.scans),
                 static_cast<unsigned long long>(status.failures));
    std::fprintf(stderr, "%s", link.Counters().Summary().c_str());
    return result;
}
