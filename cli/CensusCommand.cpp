#include "cli/CensusCommand.h"

#include <cstdio>

#include "cli/ProgressLine.h"
#include "cli/RawCommand.h"
#include "cli/StdoutText.h"
#include "cli/StopSignal.h"
#include "formats/CensusFormat.h"
#include "master/Census.h"
#include "master/LineScan.h"

namespace {

// Each device on standard output as it is found; the progress on standard
// error, on one line kept current, when that is a terminal.
class CensusPrinter : public CensusObserver {
public:
    explicit CensusPrinter(const CtlOptions& o) : o_(o) {}

    void Trying(int address, int found) override {
        progress.Show("census: address %3d of %d, %d found", address, o_.censusTo, found);
    }
    bool Found(const CensusEntry& entry) override {
        progress.Clear();
        return WriteStdout(CensusLine(o_.format, entry));
    }
    bool StopRequested() override { return ::StopRequested(); }

    const ProgressLine progress;

private:
    const CtlOptions& o_;
};

}  // namespace

int RunCensus(const CtlOptions& o, UnitLink& link) {
    CatchStopSignals();
    // The time per try is the scan's at this baud rate, or --wait when given;
    // a device server's line is its own, so there --wait.
    const int probeWaitMs = o.waitGiven || link.IsConnection() ? o.waitMs : ScanWaitMs(o.line);
    if (!WriteStdout(CensusHeader(o.format))) {
        return kExitFailure;
    }
    CensusPrinter printer(o);
    const CensusResult result =
        TakeCensus(link, o.censusFrom, o.censusTo, probeWaitMs, o.waitMs, printer);
    if (result.failed) {
        return kExitFailure;
    }
    printer.progress.Clear();
    if (result.stopped) {
        std::fprintf(stderr, "k40ctl: census stopped at address %d, %d found\n", result.stoppedAt,
                     result.found);
    }
    if (result.found == 0) {
        std::fprintf(stderr, "k40ctl: no device answered on %s at addresses %d..%d\n",
                     o.port.c_str(), o.censusFrom, o.censusTo);
        return kExitTimeout;
    }
    return kExitReply;
}

int RunIdentify(const CtlOptions& o, UnitLink& link) {
    const CensusEntry entry = Survey(link, o.waitMs, o.waitMs, false);
    if (!entry.device) {
        std::fprintf(stderr, "k40ctl: %s\n", OutcomeMessage(entry.answer, o.waitMs).c_str());
        return ExitStatusOf(entry.answer);
    }
    if (!WriteStdout(CensusHeader(o.format) + CensusLine(o.format, entry))) {
        return kExitFailure;
    }
    return entry.source != IdentitySource::None || entry.unit ? kExitReply : kExitException;
}
