#include "formats/RecordFormat.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <ctime>

#include <nlohmann/json.hpp>

#include "formats/DisplayWidth.h"
#include "master/LocalTime.h"
#include "unit/Alarms.h"
#include "unit/ExceptionText.h"

namespace {

// A CSV field, quoted when it holds a separator, a quote or a line break
// (RFC 4180, 2.6 and 2.7).
std::string CsvField(const std::string& text) {
    if (text.find_first_of(",\"\r\n") == std::string::npos) {
        return text;
    }
    std::string quoted = "\"";
    for (char c : text) {
        if (c == '"') {
            quoted += '"';
        }
        quoted += c;
    }
    return quoted + '"';
}

// A diagnosis's facts ("via=server;bytes=01 03") as a JSON object of strings,
// its keys in alphabetical order: a record read back writes the same line.
nlohmann::json FactsObject(const std::string& facts) {
    nlohmann::json object = nlohmann::json::object();
    std::size_t pos = 0;
    while (pos <= facts.size()) {
        const std::size_t end = std::min(facts.find(';', pos), facts.size());
        const std::size_t eq = facts.find('=', pos);
        if (eq < end) {
            object[facts.substr(pos, eq - pos)] = facts.substr(eq + 1, end - eq - 1);
        }
        pos = end + 1;
    }
    return object;
}

}  // namespace

std::string CsvLine(const std::vector<std::string>& fields) {
    std::string line;
    for (std::size_t i = 0; i < fields.size(); ++i) {
        if (i > 0) {
            line += ',';
        }
        line += CsvField(fields[i]);
    }
    return line + "\r\n";
}

double ShownValue(const SignalReading& reading) {
    double shown = 0;
    const char* first = reading.text.data();
    const char* last = first + reading.text.size();
    const auto parsed = std::from_chars(first, last, shown);
    return parsed.ec == std::errc() && parsed.ptr == last ? shown : reading.value;
}

const SignalReading* FindReading(const ReadRecord& record, const SignalReading& column) {
    for (const SignalReading& r : record.values) {
        if (r.analog == column.analog && r.reg == column.reg) {
            return &r;
        }
    }
    return nullptr;
}

const std::string& ShownUnit(const SignalReading& reading) {
    return reading.analog ? reading.physicalUnit : reading.unit;
}

std::string FormatTable(const ReadRecord& record) {
    if (record.outcome == ReadOutcome::Timeout) {
        return "no reply\n";
    }
    if (record.outcome == ReadOutcome::Exception) {
        return "exception " + ExceptionText(record) + "\n";
    }
    std::size_t regWidth = 0, nameWidth = 0, valueWidth = 0;
    for (const SignalReading& r : record.values) {
        regWidth = std::max(regWidth, std::to_string(r.reg).size());
        nameWidth = std::max(nameWidth, DisplayWidth(r.name));
        valueWidth = std::max(valueWidth, DisplayWidth(r.text));
    }
    std::string table;
    for (const SignalReading& r : record.values) {
        const std::string reg = std::to_string(r.reg);
        std::string line = std::string(regWidth - reg.size(), ' ') + reg + "  ";
        line += PadRight(r.name, nameWidth) + "  ";
        line += std::string(valueWidth - DisplayWidth(r.text), ' ') + r.text;
        if (!ShownUnit(r).empty()) {
            line += "  " + ShownUnit(r);
        }
        // A raised alarm is said in words, for a reader and for grep.
        const BitMeaning* m = r.analog ? nullptr : MeaningOfBit(r.reg);
        if (m != nullptr && m->Raised(r.value)) {
            line += std::string("  ALARM ") + SeverityWord(m->severity);
        }
        table += line + "\n";
    }
    return table;
}

std::string CsvHeader(const std::vector<SignalReading>& columns) {
    std::vector<std::string> fields = {"time", "outcome", "exception"};
    for (const SignalReading& c : columns) {
        fields.push_back(c.name);
    }
    return CsvLine(fields);
}

std::string CsvRow(const ReadRecord& record, const std::vector<SignalReading>& columns) {
    std::vector<std::string> fields = {
        Iso8601Local(record.time), OutcomeWord(record.outcome),
        record.outcome == ReadOutcome::Exception ? ExceptionText(record) : std::string()};
    for (const SignalReading& c : columns) {
        const SignalReading* r =
            record.outcome == ReadOutcome::Reply ? FindReading(record, c) : nullptr;
        fields.push_back(r ? r->text : std::string());
    }
    return CsvLine(fields);
}

std::string JsonLine(const ReadRecord& record) {
    // Keys in the order a reader expects them: time and outcome first.
    using json = nlohmann::ordered_json;
    json object = {{"time", Iso8601Local(record.time)}, {"outcome", OutcomeWord(record.outcome)}};
    // Tenths of a millisecond, as the counters show them.
    object["response_ms"] =
        record.responseMs ? json(std::round(*record.responseMs * 10) / 10) : json(nullptr);
    if (record.outcome == ReadOutcome::Exception) {
        object["exception"] = {{"code", record.exceptionCode},
                               {"name", record.exceptionName},
                               {"name_en", ExceptionNameEnglish(record.exceptionCode)}};
    }
    if (!record.finding.empty()) {
        object["diagnosis"] = {{"finding", record.finding}, {"text", record.diagnosis}};
        if (!record.facts.empty()) {
            object["diagnosis"]["facts"] = FactsObject(record.facts);
        }
    }
    json values = json::array();
    if (record.outcome == ReadOutcome::Reply) {
        for (const SignalReading& r : record.values) {
            json v = {{"register", r.reg}, {"name", r.name}};
            if (r.analog) {
                v["value"] = ShownValue(r);
                v["unit"] = r.physicalUnit;
            } else {
                v["value"] = r.value != 0 ? 1 : 0;
                v["legend"] = r.unit;
            }
            values.push_back(std::move(v));
        }
    }
    object["values"] = std::move(values);
    // Invalid UTF-8 in a table text is replaced rather than thrown about: a
    // record is always written.
    return object.dump(-1, ' ', false, json::error_handler_t::replace) + "\n";
}
