#include "master/ScanScope.h"

#include "master/UnitLink.h"
#include "unit/Readings.h"

std::vector<SignalReading> ScanColumns(ScanScope scope, const RawRead& raw) {
    switch (scope) {
        case ScanScope::Analog:
            return AnalogColumns();
        case ScanScope::Bits:
            return BitColumns();
        case ScanScope::Raw:
            return RawColumns(raw);
        case ScanScope::All:
            break;
    }
    std::vector<SignalReading> all = AnalogColumns();
    const std::vector<SignalReading> bits = BitColumns();
    all.insert(all.end(), bits.begin(), bits.end());
    return all;
}

ReadRecord ScanOf(UnitLink& link, ScanScope scope, const RawRead& raw) {
    switch (scope) {
        case ScanScope::Analog:
            return link.Read(ReadCommand::Analog03);
        case ScanScope::Bits:
            return link.Read(ReadCommand::Coils01);
        case ScanScope::All:
            return link.ReadAll({ReadCommand::Analog03, ReadCommand::Coils01});
        case ScanScope::Raw:
            return RawScan(link, raw);
    }
    return {};
}

ReadRecord RawScan(UnitLink& link, const RawRead& read) {
    ReadRecord record = link.Request(ReadPdu(read), ExchangeVariant::Read);
    if (record.outcome == ReadOutcome::Reply) {
        record.values = DecodeRawReply(read, link.ReplyFrame());
    }
    return record;
}
