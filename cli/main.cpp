// k40ctl: the HCU-K40 monitoring unit from the command line. The same link,
// exchange and decoding as k40tool's pages; one read or command per call, or a
// watch that repeats the reads.
#include <cstdio>
#include <iostream>

#include "cli/CensusCommand.h"
#include "cli/CheckCommand.h"
#include "cli/Console.h"
#include "cli/CtlOptions.h"
#include "cli/Doctor.h"
#include "cli/Ports.h"
#include "cli/RawCommand.h"
#include "cli/ScanCommand.h"
#include "cli/Serve.h"
#include "cli/TokenCommand.h"
#include "cli/Watch.h"
#include "formats/RecordFormat.h"
#include "master/UnitCommand.h"
#include "master/UnitLink.h"
#include "unit/Readings.h"

namespace {

std::string Render(const CtlOptions& o, const ReadRecord& record,
                   const std::vector<SignalReading>& columns, bool command) {
    switch (o.format) {
        case OutputFormat::Csv:
            return CsvHeader(columns) + CsvRow(record, columns);
        case OutputFormat::Json:
            return JsonLine(record);
        case OutputFormat::Table:
        case OutputFormat::Prometheus:
            if (command) {
                return record.outcome == ReadOutcome::Reply ? "ok\n" : std::string();
            }
            return record.outcome == ReadOutcome::Reply ? FormatTable(record) : std::string();
    }
    return {};
}

int RunOnce(const CtlOptions& o, UnitLink& link) {
    ReadRecord record;
    std::vector<SignalReading> columns;
    const bool command = o.action == Action::SystemMode || o.action == Action::Module;
    std::string unconfirmed;
    if (command) {
        UnitCommand c;
        c.module = o.action == Action::Module;
        c.mode = o.mode;
        c.moduleNumber = o.module;
        c.setting = o.setting;
        c.setpoint = o.setpoint;
        CommandResult result = RunUnitCommand(link, c, o.confirm, o.waitMs);
        record = std::move(result.record);
        unconfirmed = result.unconfirmed;
    } else if (o.action == Action::ReadAnalog) {
        record = link.Read(ReadCommand::Analog03);
        columns = AnalogColumns();
    } else {
        record = link.Read(o.bitsByRegister ? ReadCommand::Register03 : ReadCommand::Coils01);
        columns = BitColumns();
    }
    if (!unconfirmed.empty() && o.format == OutputFormat::Table) {
        std::fprintf(stderr, "k40ctl: not confirmed: %s\n", unconfirmed.c_str());
        return kExitNotConfirmed;
    }
    if (!ReportRecord(Render(o, record, columns, command), record, link.WaitMs())) {
        return kExitFailure;
    }
    if (!unconfirmed.empty()) {
        std::fprintf(stderr, "k40ctl: not confirmed: %s\n", unconfirmed.c_str());
        return kExitNotConfirmed;
    }
    return ExitStatusOf(record);
}

}  // namespace

int main(int argc, char** argv) {
    CConsoleArguments args(argc, argv);
    CtlOptions options;
    const int parsed = ParseCtlOptions(args.Count(), args.Values(), options, std::cout, std::cerr);
    if (parsed >= 0) {
        return parsed;
    }
    if (options.action == Action::Token) {
        return RunToken(options);
    }
    if (options.action == Action::Ports) {
        return RunPorts(options);
    }
    // COMn in --port is found where `ports` looks.
    SetPortFolders(DevDir(), SysDir());
    UnitLink link(options.port, options.line, options.slave, options.waitMs,
                  options.trace ? stderr : nullptr);
    link.SetEchoMode(options.echo);
    if (options.action == Action::Doctor) {
        return RunDoctor(options, link);
    }
    if (options.action == Action::Scan) {
        return RunScan(options);
    }
    if (options.action == Action::Serve) {
        link.ListenForLateReplies();  // serve polls as watch does
        return RunServe(options, link);
    }
    if (options.action == Action::Check) {
        return RunCheck(options, link);  // opens the line itself: UNKNOWN when it cannot
    }
    if (options.action == Action::Watch) {
        link.ListenForLateReplies();  // a watch polls: a late reply must not pass for the next
        return RunWatch(options, link);
    }
    // The commands that run once open the line here; the watch and serve
    // reopen a lost one themselves, and doctor reports the open as a check.
    std::string why;
    if (!link.Open(&why)) {
        std::fprintf(stderr, "k40ctl: %s\n", why.c_str());
        return kExitPort;
    }
    if (options.action == Action::Census) {
        return RunCensus(options, link);
    }
    if (options.action == Action::Identify) {
        return RunIdentify(options, link);
    }
    if (options.action == Action::RawRead || options.action == Action::RawWrite) {
        return RunRaw(options, link);
    }
    return RunOnce(options, link);
}
