#include "cli/DoctorReport.h"

#include "cli/Doctor.h"

#include "formats/RecordFormat.h"
#include "link/TcpAddress.h"

int ReadTheUnit(const CtlOptions& o, UnitLink& link, Report& report, bool tcp) {
    std::string why;
    if (!link.Open(&why)) {
        report.Fail(why, tcp ? "check the device server's address and port, and that it is on."
                             : "see the checks above.");
        return 1;
    }
    const ReadRecord record = link.Read(ReadCommand::Register03);
    // A device server's baud rate is set on the server: k40ctl cannot know it.
    const std::string settings = std::string(tcp ? "at " : "at " + LineName(o.line) + ", ") +
                                 "slave " + std::to_string(o.slave) + ", wait " +
                                 std::to_string(o.waitMs) + " ms";
    switch (record.outcome) {
        case ReadOutcome::Reply:
            report.Pass("the unit answered " + settings);
            break;
        case ReadOutcome::Exception:
            report.Warn("the unit answered " + settings + " with an exception reply " +
                            ExceptionText(record),
                        "the unit is there; check that it is the HCU-K40 monitor.");
            break;
        case ReadOutcome::Timeout:
            report.Fail("no reply " + settings + ": " + record.diagnosis,
                        tcp ? "if the cause is not clear, k40ctl scan finds the address."
                            : "if the cause is not clear, k40ctl scan finds the baud rate and "
                              "address.");
            break;
    }
    return report.Failed() ? 1 : 0;
}

int RunDoctor(const CtlOptions& o, UnitLink& link) {
    Report report;
    // COMn may name a device server too ($K40_COMn).
    const bool tcp = IsTcpPortName(ResolvePortName(o.port));
    if (tcp) {
        report.Skip(o.port + " is not a serial port: the port checks are skipped");
    } else {
        SerialChecks(o.port, report);
    }
    if (report.Failed()) {
        report.Fail("the unit was not read", "mend the failures above first.");
        return 1;
    }
    return ReadTheUnit(o, link, report, tcp);
}
