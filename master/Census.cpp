#include "master/Census.h"

#include <algorithm>
#include <map>

#include "link/HexEcho.h"
#include "master/RawAccess.h"
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

CensusResult TakeCensus(UnitLink& link, int from, int to, int probeWaitMs, int waitMs,
                        CensusObserver& observer) {
    CensusResult result;
    int address = from;
    for (; address <= to && !observer.StopRequested(); ++address) {
        observer.Trying(address, result.found);
        link.SetSlave(address);
        const CensusEntry entry = Survey(link, probeWaitMs, waitMs, true);
        if (!entry.device) {
            continue;
        }
        ++result.found;
        if (!observer.Found(entry)) {
            result.failed = true;
            return result;
        }
    }
    if (observer.StopRequested()) {
        result.stopped = true;
        result.stoppedAt = address - 1;
    }
    return result;
}

std::string PrintableOrHex(const std::string& bytes) {
    const bool printable = std::all_of(bytes.begin(), bytes.end(), [](char c) {
        return static_cast<unsigned char>(c) >= 0x20 && static_cast<unsigned char>(c) < 0x7F;
    });
    return printable ? bytes
                     : HexBytes(reinterpret_cast<const std::uint8_t*>(bytes.data()),
                                static_cast<int>(bytes.size()));
}
