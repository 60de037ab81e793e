#include "cli/RawCommand.h"

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <nlohmann/json.hpp>

#include "cli/StdoutText.h"
#include "formats/RecordFormat.h"
#include "unit/Readings.h"

bool ReportRecord(const std::string& text, const ReadRecord& record, int waitMs) {
    if (!WriteStdout(text)) {
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

namespace {

// A register value for JSON: exact integers (64-bit ones too), floats as
// shown, null for a float that is no number; hex and ascii as their text.
nlohmann::ordered_json JsonValue(RawType type, const SignalReading& v) {
    switch (type) {
        case RawType::Hex:
        case RawType::Ascii:
            return v.text;
        case RawType::F32:
        case RawType::F64:
            return std::isfinite(v.value) ? nlohmann::ordered_json(ShownValue(v))
                                          : nlohmann::ordered_json();
        case RawType::U64:
            return std::strtoull(v.text.c_str(), nullptr, 10);
        case RawType::S64:
            return std::strtoll(v.text.c_str(), nullptr, 10);
        default:
            return static_cast<long long>(v.value);
    }
}

}  // namespace

std::string RawJsonLine(const RawRead& read, const ReadRecord& record) {
    // The record's time, outcome and failure as every JSON line has them; the
    // values as address and value.
    nlohmann::ordered_json line = nlohmann::ordered_json::parse(JsonLine(record));
    nlohmann::ordered_json values = nlohmann::ordered_json::array();
    const bool bits = IsBitTable(read.table);
    for (const SignalReading& v : record.values) {
        nlohmann::ordered_json value = {{"address", v.reg}, {"value", nullptr}};
        value["value"] =
            bits ? nlohmann::ordered_json(static_cast<int>(v.value)) : JsonValue(read.type, v);
        if (value["value"].is_null()) {
            value["registers"] = v.registers;
        }
        values.push_back(value);
    }
    line.erase("values");
    line["table"] = TableName(read.table);
    line["type"] = bits ? "bit" : TypeName(read.type);
    if (!bits) {
        line["byte_order"] = ByteOrderName(read.order);
    }
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

// A broadcast write as the formats say it: nothing came back, and nothing
// was to; "broadcast" is the outcome word of its CSV and JSON records.
std::string BroadcastText(const CtlOptions& o) {
    ReadRecord record;
    record.time = std::chrono::system_clock::now();
    switch (o.format) {
        case OutputFormat::Json: {
            nlohmann::ordered_json line = nlohmann::ordered_json::parse(JsonLine(record));
            line["outcome"] = "broadcast";
            return line.dump() + "\n";
        }
        case OutputFormat::Csv:
            return CsvLine({"time", "outcome", "exception"}) +
                   CsvLine({Iso8601Local(record.time), "broadcast", ""});
        case OutputFormat::Table:
        case OutputFormat::Prometheus:
            break;
    }
    return std::string(kBroadcastSaid) + "\n";
}

int RunBroadcast(const CtlOptions& o, UnitLink& link) {
    if (!link.Broadcast(o.writePdu, o.turnaroundMs)) {
        std::fprintf(stderr, "k40ctl: the broadcast could not be sent on %s\n", o.port.c_str());
        return kExitPort;
    }
    const std::string text = BroadcastText(o);
    if (!WriteStdout(text)) {
        return kExitFailure;
    }
    return kExitReply;
}

}  // namespace

int RunRaw(const CtlOptions& o, UnitLink& link) {
    if (o.broadcast) {
        return RunBroadcast(o, link);
    }
    const bool read = o.action == Action::RawRead;
    const ReadRecord record =
        read ? RawScan(link, o.raw) : link.Request(o.writePdu, ExchangeVariant::SystemCommand);
    const std::string text = read ? RawReadText(o, record) : WriteText(o, record);
    if (!ReportRecord(text, record, link.WaitMs())) {
        return kExitFailure;
    }
    // Illegal data address at an address that looks like a reference number.
    if (record.outcome == ReadOutcome::Exception && record.exceptionCode == 0x02 &&
        !o.referenceHint.empty()) {
        std::fprintf(stderr, "k40ctl: %s\n", o.referenceHint.c_str());
    }
    // Unit 0 over Modbus TCP: a gateway may pass it on as a broadcast, which
    // none of its slaves answers.
    if (record.outcome == ReadOutcome::Timeout && o.slave == 0) {
        std::fprintf(stderr,
                     "k40ctl: unit id 0 is the broadcast address: a gateway sends it to all "
                     "units of its line, and none of them replies; no reply is expected\n");
    }
    return ExitStatusOf(record);
}
