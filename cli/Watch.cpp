#include "cli/Watch.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <utility>

#include "cli/Console.h"
#include "cli/CsvLayout.h"
#include "cli/StopSignal.h"
#include "cli/WatchSinks.h"
#include "master/LinkLog.h"
#include "master/Poller.h"

namespace {

// Exception 02 at an ADDRESS that looks like a reference number: said once,
// when the watch has ended, where it does not disturb the live view.
class ReferenceHintSink : public PollSink {
public:
    explicit ReferenceHintSink(std::string hint) : hint_(std::move(hint)) {}
    void OnScan(const ReadRecord& record, const ScanStatus&) override {
        met_ = met_ || (record.outcome == ReadOutcome::Exception && record.exceptionCode == 0x02);
    }
    void OnEnd(const ScanStatus&) override {
        if (met_ && !hint_.empty()) {
            std::fprintf(stderr, "k40ctl: %s\n", hint_.c_str());
        }
    }

private:
    std::string hint_;
    bool met_ = false;
};

}  // namespace

int RunWatch(const CtlOptions& o, UnitLink& link) {
    std::string why;
    if (o.format == OutputFormat::Csv && !o.output.empty() &&
        !CheckCsvLayout(o.output, o.watch.scope, &why, o.raw)) {
        std::fprintf(stderr, "k40ctl: %s\n", why.c_str());
        return kExitUsage;
    }
    Poller poller(o.watch, link, StopRequested);
    if (!poller.Open(&why)) {
        std::fprintf(stderr, "k40ctl: %s\n", why.c_str());
        return kExitPort;
    }
    const bool toFile = !o.output.empty() && o.format != OutputFormat::Prometheus;
    CatchStopSignals(toFile ? HangUp::Reopens : HangUp::Stops);
    const std::vector<SignalReading> columns = ScanColumns(o.watch.scope, o.raw);
    std::unique_ptr<PollSink> records;
    bool live = false;
    if (o.format == OutputFormat::Prometheus) {
        records = std::make_unique<PromFileSink>(o, columns);
    } else {
        auto sink = std::make_unique<RecordSink>(o, columns);
        if (!sink->Start()) {
            std::fprintf(stderr, "k40ctl: cannot open %s: %s\n", o.output.c_str(),
                         std::strerror(errno));
            return kExitFailure;
        }
        live = sink->Live();
        records = std::move(sink);
    }
    // The live view shows the link's state itself, on the same terminal.
    LinkLog log(link, stderr, live && IsLiveTerminal(2));
    poller.AddSink(&log);
    poller.AddSink(records.get());
    ReferenceHintSink hint(o.referenceHint);
    poller.AddSink(&hint);
    return poller.Run() == PollOutcome::SinkFailed ? kExitFailure : kExitReply;
}
