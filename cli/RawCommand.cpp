#include "cli/RawCommand.h"

#include <cmath>
#include <cstdio>
#include <nlohmann/json.hpp>

#include "cli/RecordFormat.h"
#include "unit/Readings.h"

bool Report(const std::string& text, const ReadRecord& record, int waitMs) {
    if (std::fwrite(text.data(), 1, text.size(), stdout) != text.size() ||
        std::fflush(stdout) != 0) {
        std::perror("k40ctl: cannot write standard output");
        return false;
    }
    if (record.outcome != ReadOutcome::Reply) {
        std::fprintf(stderr, "k40ctl: %s\n", OutcomeMessage(record, waitMs).c_str());
    }
    return true;
}

int ExitStatusOf(const ReadRecord& record) {
    switch (record.outcome) {
        case ReadOutcome::Reply:
            return kExitReply;
        case ReadOutcome::Timeout:
            return kExitTimeout;
        case ReadOutcome::Exception:
            return kExitException;
    }
    return kExitTimeout;
}

std::string RawJsonLine(const RawRead& read, const ReadRecord& record) {
    // The record's time, outcome and failure as every JSON line has them; the
    // values as address and value.
    nlohmann::ordered_json line = nlohmann::ordered_json::parse(JsonLine(record));
    nlohmann::ordered_json values = nlohmann::ordered_json::array();
    const bool bits = IsBitTable(read.table);
    for (const SignalReading& v : record.values) {
        nlohmann::ordered_json value = {{"address", v.reg}, {"value", static_cast<long long>(v.value)}};
        if (!bits && read.type == RawType::Hex) {
            value["value"] = v.text;
        } else if (!bits && read.type == RawType::F32) {
            value["value"] = ShownValue(v);
            if (!std::isfinite(v.value)) {
                value["value"] = nullptr;
                value["registers"] = v.registers;
            }
        }
        values.push_back(value);
    }
    line.erase("values");
    line["table"] = TableName(read.table);
    line["type"] = bits ? "bit" : TypeName(read.type);
    line["values"] = values;
    return line.dump() + "\n";
}

std::string RawReadText(const CtlOptions& o, const ReadRecord& record) {
    switch (o.format) {
        case OutputFormat::Json:
            return RawJsonLine(o.raw, record);
        case OutputFormat::Csv: {
            std::string text = CsvLine({"address", "value"});
            for (const SignalReading& v : record.values) {
                text += CsvLine({std::to_string(v.reg), v.text});
            }
            return text;
        }
        case OutputFormat::Table:
        case OutputFormat::Prometheus:
            break;
    }
    std::string text;
    for (const SignalReading& v : record.values) {
        char line[64];
        std::snprintf(line, sizeof line, "%5d  %s\n", v.reg, v.text.c_str());
        text += line;
    }
    return text;
}

namespace {

std::string WriteText(const CtlOptions& o, const ReadRecord& record) {
    switch (o.format) {
        case OutputFormat::Json:
            return JsonLine(record);
        case OutputFormat::Csv:
            return CsvHeader({}) + CsvRow(record, {});
        case OutputFormat::Table:
        case OutputFormat::Prometheus:
            break;
    }
    return record.outcome == ReadOutcome::Reply ? "ok\n" : std::string();
}

}  // namespace

ReadRecord RawScan(UnitLink& link, const RawRead& read) {
    ReadRecord record = link.Request(ReadPdu(read), ExchangeVariant::Read);
    if (record.outcome == ReadOutcome::Reply) {
        record.values = DecodeRawReply(read, link.ReplyFrame());
    }
    return record;
}

int RunRaw(const CtlOptions& o, UnitLink& link) {
    std::string why;
    if (!link.Open(&why)) {
        std::fprintf(stderr, "k40ctl: %s\n", why.c_str());
        return kExitPort;
    }
    const bool read = o.action == Action::RawRead;
    const ReadRecord record = read ? RawScan(link, o.raw)
                                   : link.Request(o.writePdu, ExchangeVariant::SystemCommand);
    const std::string text = read ? RawReadText(o, record) : WriteText(o, record);
    if (!Report(text, record, link.WaitMs())) {
        return kExitFailure;
    }
    // Illegal data address at an address that looks like a reference number.
    if (record.outcome == ReadOutcome::Exception && record.exceptionCode == 0x02 &&
        !o.referenceHint.empty()) {
        std::fprintf(stderr, "k40ctl: %s\n", o.referenceHint.c_str());
    }
    return ExitStatusOf(record);
}
