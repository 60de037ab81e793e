#include "cli/Census.h"

#include <cstdio>
#include <map>

#include "cli/CensusFormat.h"
#include "cli/Console.h"
#include "cli/RawAccess.h"
#include "cli/RawCommand.h"
#include "cli/Scan.h"
#include "cli/StdoutText.h"
#include "cli/StopSignal.h"
#include "link/HexEcho.h"
#include "unit/DeviceIdentity.h"
#include "unit/ExceptionText.h"

namespace {

bool Answered(const ReadRecord& r) {
    return r.outcome != ReadOutcome::Timeout;
}

bool NoDeviceBehindGateway(const ReadRecord& r) {
    return r.outcome == ReadOutcome::Exception && GatewayFoundNoDevice(r.exceptionCode);
}

// The unit's map: its status word (holding register 0) and its nine
// measurements (100..108) are read as the unit's own reads make them, and
// holding register 1, in the gap between the two, is refused with exception 02
// (illegal data address). A device whose registers run on from 0 answers
// register 1.
bool HasUnitMap(UnitLink& link, const ReadRecord& status) {
    if (status.outcome != ReadOutcome::Reply) {
        return false;
    }
    if (link.Read(ReadCommand::Analog03).outcome != ReadOutcome::Reply) {
        return false;
    }
    RawRead gap;
    gap.address = 1;
    const ReadRecord r = link.Request(ReadPdu(gap), ExchangeVariant::Read);
    return r.outcome == ReadOutcome::Exception && r.exceptionCode == 0x02;
}

// 43/14 from object 0 on, following "more follows" for a bounded number of
// replies. The first answer, if the entry has none yet, is this one's. A
// reply without objects offers no identification.
bool ReadDeviceId(UnitLink& link, CensusEntry& entry) {
    std::map<int, std::string> objects;
    int next = 0;
    for (int round = 1; next >= 0; ++round) {
        const ReadRecord r =
            link.Request(DeviceIdPdu(static_cast<std::uint8_t>(next)), ExchangeVariant::Read);
        if (!Answered(entry.answer)) {
            entry.answer = r;
        }
        DeviceIdPage page;
        if (r.outcome != ReadOutcome::Reply ||
            !ParseDeviceIdReply(link.ReplyFrame(), CModbusComm::kBufSize, page)) {
            break;
        }
        objects.insert(page.objects.begin(), page.objects.end());
        next = NextDeviceIdObject(page, objects, round);
    }
    if (objects.empty()) {
        return false;
    }
    entry.source = IdentitySource::DeviceId;
    entry.vendor = PrintableOrHex(objects[0]);
    entry.product = PrintableOrHex(objects[1]);
    entry.revision = PrintableOrHex(objects[2]);
    return true;
}

void ReportServerId(UnitLink& link, CensusEntry& entry) {
    const ReadRecord r = link.Request(ServerIdPdu(), ExchangeVariant::Read);
    if (!Answered(entry.answer)) {
        entry.answer = r;
    }
    ServerId server;
    if (r.outcome != ReadOutcome::Reply ||
        !ParseServerIdReply(link.ReplyFrame(), CModbusComm::kBufSize, server)) {
        return;
    }
    entry.source = IdentitySource::ServerId;
    entry.serverId = HexBytes(server.id.data(), static_cast<int>(server.id.size()));
    entry.run = server.run;
    entry.data = PrintableOrHex(std::string(server.data.begin(), server.data.end()));
}

void ClearProgress(bool progress) {
    if (progress) {
        std::fprintf(stderr, "\r\x1b[K");
    }
}

}  // namespace

CensusEntry Survey(UnitLink& link, int probeWaitMs, int waitMs, bool probeDecides) {
    CensusEntry entry;
    entry.address = link.SlaveAddress();
    link.SetWaitMs(probeWaitMs);
    entry.answer = link.Read(ReadCommand::Register03);
    link.SetWaitMs(waitMs);
    if (NoDeviceBehindGateway(entry.answer) || (!Answered(entry.answer) && probeDecides)) {
        return entry;
    }
    if (!ReadDeviceId(link, entry)) {
        ReportServerId(link, entry);
    }
    entry.device = Answered(entry.answer) && !NoDeviceBehindGateway(entry.answer);
    entry.unit = entry.device && HasUnitMap(link, entry.answer);
    return entry;
}

int RunCensus(const CtlOptions& o, UnitLink& link) {
    CatchStopSignals();
    const bool progress = IsLiveTerminal(2);
    // The time per try is the scan's at this baud rate, or --wait when given;
    // a device server's line is its own, so there --wait.
    const int probeWaitMs = o.waitGiven || link.IsConnection() ? o.waitMs : ScanWaitMs(LineOf(o));
    int found = 0;
    if (!WriteStdout(CensusHeader(o.format))) {
        return kExitFailure;
    }
    int address = o.censusFrom;
    for (; address <= o.censusTo && !StopRequested(); ++address) {
        if (progress) {
            std::fprintf(stderr, "\rcensus: address %3d of %d, %d found", address, o.censusTo,
                         found);
            std::fflush(stderr);
        }
        link.SetSlave(address);
        const CensusEntry entry = Survey(link, probeWaitMs, o.waitMs, true);
        if (!entry.device) {
            continue;
        }
        ClearProgress(progress);
        ++found;
        if (!WriteStdout(CensusLine(o.format, entry))) {
            return kExitFailure;
        }
    }
    ClearProgress(progress);
    if (StopRequested()) {
        std::fprintf(stderr, "k40ctl: census stopped at address %d, %d found\n", address - 1,
                     found);
    }
    if (found == 0) {
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
