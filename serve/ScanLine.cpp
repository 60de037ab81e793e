#include "serve/ScanLine.h"

#include <charconv>
#include <cmath>
#include <stdexcept>
#include <utility>

#include <nlohmann/json.hpp>

#include "formats/RecordFormat.h"
#include "master/ScanScope.h"
#include "serve/TimeText.h"

namespace {

using JsonValue = nlohmann::json;
constexpr char kTimeKey[] = "{\"time\":\"";

// A reply's line cut around its variable parts (see pieces_): the text up to
// and with each key, the part itself left out, and what follows the last.
std::vector<std::string> ReplyPieces(const std::vector<SignalReading>& columns) {
    ReadRecord reply;
    reply.outcome = ReadOutcome::Reply;
    reply.responseMs = 1.0;
    reply.values = columns;
    for (SignalReading& r : reply.values) {
        r.text = r.analog ? "0.0" : "0";
        r.value = 0;
    }
    std::string line = JsonLine(reply);
    line.pop_back();
    std::vector<std::string> pieces;
    std::size_t done = 0;
    const auto cut = [&](const std::string& key, const char* ends) {
        const std::size_t at = line.find(key, done);
        if (at == std::string::npos) {
            throw std::logic_error("a reply's JSON line lacks " + key);
        }
        pieces.push_back(line.substr(done, at + key.size() - done));
        done = line.find_first_of(ends, at + key.size());
    };
    cut(kTimeKey, "\"");
    cut("\"response_ms\":", ",}");
    for (std::size_t i = 0; i < columns.size(); ++i) {
        cut("\"value\":", ",}");
    }
    pieces.push_back(line.substr(done));
    return pieces;
}

// A number as JSON writes it ("-12.5", "3e+300"), in *value.
bool JsonNumber(std::string_view text, double* value) {
    if (text.empty() || !(text[0] == '-' || (text[0] >= '0' && text[0] <= '9')) ||
        text.find_first_not_of("0123456789.eE+-") != std::string_view::npos) {
        return false;
    }
    const auto parsed = std::from_chars(text.data(), text.data() + text.size(), *value);
    return parsed.ec == std::errc() && parsed.ptr == text.data() + text.size();
}

const JsonValue* Member(const JsonValue& object, const char* key) {
    const auto found = object.find(key);
    return found == object.end() ? nullptr : &*found;
}

bool IsText(const JsonValue* j) {
    return j != nullptr && j->is_string();
}

// The registers and kinds of a line's values: "the records of watch ai" when
// they are another scan's, else what is wrong with them.
std::string ValuesWhy(const JsonValue& values) {
    std::vector<std::pair<bool, int>> signals;
    for (const JsonValue& v : values) {
        const JsonValue* reg = v.is_object() ? Member(v, "register") : nullptr;
        if (reg == nullptr || !reg->is_number_unsigned()) {
            return "a value without its register";
        }
        signals.emplace_back(Member(v, "unit") != nullptr, reg->get<int>());
    }
    for (const auto& [scope, word] : {std::pair(ScanScope::Analog, "ai"),
                                      std::pair(ScanScope::Bits, "di")}) {
        const std::vector<SignalReading> columns = ScanColumns(scope);
        bool same = columns.size() == signals.size();
        for (std::size_t i = 0; same && i < columns.size(); ++i) {
            same = signals[i] == std::pair(columns[i].analog, columns[i].reg);
        }
        if (same) {
            return std::string("the records of watch ") + word;
        }
    }
    return "values that are not the signals of all";
}

// A reply's values, one for each column, each of its kind: a number with its
// unit, or a bit (0 or 1) with its legend.
bool ReadValues(const JsonValue& values, const std::vector<SignalReading>& columns,
                ReadRecord* record, std::string* why) {
    record->values = columns;
    bool fits = values.size() == columns.size();
    for (std::size_t i = 0; fits && i < columns.size(); ++i) {
        const JsonValue& v = values[i];
        const JsonValue* reg = v.is_object() ? Member(v, "register") : nullptr;
        const JsonValue* value = v.is_object() ? Member(v, "value") : nullptr;
        SignalReading& r = record->values[i];
        fits = reg != nullptr && reg->is_number_unsigned() && reg->get<long>() == r.reg &&
               IsText(Member(v, r.analog ? "unit" : "legend")) && value != nullptr;
        if (fits && r.analog) {
            fits = value->is_number();
            r.value = fits ? value->get<double>() : 0;
            r.text = JsonValue(r.value).dump();
        } else if (fits) {
            fits = value->is_number_unsigned() && value->get<unsigned>() <= 1;
            r.value = fits ? value->get<unsigned>() : 0;
            r.text = r.value != 0 ? "1" : "0";
        }
    }
    if (!fits) {
        *why = ValuesWhy(values);
    }
    return fits;
}

// What JsonLine writes beside the values: the outcome, the response time,
// an exception's code and name, a failure's diagnosis.
bool ReadOutcomeParts(const JsonValue& object, ReadRecord* record, std::string* why) {
    const JsonValue* outcome = Member(object, "outcome");
    const std::string word = IsText(outcome) ? outcome->get<std::string>() : std::string();
    bool known = false;
    for (ReadOutcome o : {ReadOutcome::Reply, ReadOutcome::Timeout, ReadOutcome::Exception}) {
        if (word == OutcomeWord(o)) {
            record->outcome = o;
            known = true;
        }
    }
    const JsonValue* response = Member(object, "response_ms");
    if (!known || response == nullptr || !(response->is_null() || response->is_number())) {
        *why = known ? "no \"response_ms\"" : "no \"outcome\" of a scan";
        return false;
    }
    if (response->is_number()) {
        record->responseMs = response->get<double>();
    }
    if (record->outcome == ReadOutcome::Exception) {
        const JsonValue* e = Member(object, "exception");
        const JsonValue* code = e != nullptr && e->is_object() ? Member(*e, "code") : nullptr;
        if (code == nullptr || !code->is_number_unsigned() || code->get<unsigned>() > 255 ||
            !IsText(Member(*e, "name"))) {
            *why = "an exception without its code and name";
            return false;
        }
        record->exceptionCode = static_cast<std::uint8_t>(code->get<unsigned>());
        record->exceptionName = (*e)["name"].get<std::string>();
    }
    if (const JsonValue* d = Member(object, "diagnosis")) {
        if (!d->is_object() || !IsText(Member(*d, "finding")) || !IsText(Member(*d, "text"))) {
            *why = "a diagnosis without its finding and text";
            return false;
        }
        record->finding = (*d)["finding"].get<std::string>();
        record->diagnosis = (*d)["text"].get<std::string>();
    }
    return true;
}

}  // namespace

ScanLineReader::ScanLineReader()
    : columns_(ScanColumns(ScanScope::All)), pieces_(ReplyPieces(columns_)) {}

bool ScanLineReader::LineTime(std::string_view line, std::chrono::system_clock::time_point* time) {
    const std::size_t from = sizeof kTimeKey - 1;
    const std::size_t end = line.find('"', from);
    return line.compare(0, from, kTimeKey) == 0 && end != std::string_view::npos &&
           ParseIso8601(std::string(line.substr(from, end - from)), time);
}

bool ScanLineReader::MayStartRecord(std::string_view text) {
    const std::string_view start(kTimeKey);
    return start.substr(0, text.size()) == text.substr(0, start.size());
}

bool ScanLineReader::Read(std::string_view line, ReadRecord* record, std::string* why) const {
    return ReadReplyQuickly(line, record) || ReadAnyway(line, record, why);
}

// A reply's line made of pieces_ around its parts: no JSON parser needed, a
// day of them is read in a fraction of the time.
bool ScanLineReader::ReadReplyQuickly(std::string_view line, ReadRecord* record) const {
    std::size_t at = 0;
    std::string_view part;
    const auto next = [&](std::size_t piece, const char* ends) {
        const std::string& text = pieces_[piece];
        if (line.compare(at, text.size(), text) != 0) {
            return false;
        }
        const std::size_t end = line.find_first_of(ends, at + text.size());
        part = line.substr(at + text.size(), end - at - text.size());
        at = end;
        return end != std::string_view::npos;
    };
    double number = 0;
    if (!next(0, "\"") || !ParseIso8601(std::string(part), &record->time) || !next(1, ",}") ||
        !(part == "null" || JsonNumber(part, &number))) {
        return false;
    }
    record->responseMs = part == "null" ? std::nullopt : std::optional<double>(number);
    if (record->values.size() != columns_.size()) {
        record->values = columns_;
    }
    for (std::size_t i = 0; i < columns_.size(); ++i) {
        SignalReading& r = record->values[i];
        if (!next(i + 2, ",}") || (r.analog ? !JsonNumber(part, &number)
                                            : !(part == "0" || part == "1"))) {
            return false;
        }
        r.text = part;
        r.value = r.analog ? number : part == "1";
    }
    record->outcome = ReadOutcome::Reply;
    record->exceptionCode = 0;
    record->exceptionName.clear();
    record->finding.clear();
    record->diagnosis.clear();
    return line.substr(at) == pieces_.back();
}

bool ScanLineReader::ReadAnyway(std::string_view line, ReadRecord* record,
                                std::string* why) const {
    const JsonValue object = JsonValue::parse(line.begin(), line.end(), nullptr, false);
    if (!object.is_object()) {
        *why = "no JSON object";
        return false;
    }
    ReadRecord read;
    const JsonValue* time = Member(object, "time");
    if (!IsText(time) || !ParseIso8601(time->get<std::string>(), &read.time)) {
        *why = "no \"time\" in ISO 8601";
        return false;
    }
    const JsonValue* values = Member(object, "values");
    if (!ReadOutcomeParts(object, &read, why)) {
        return false;
    }
    if (values == nullptr || !values->is_array() ||
        (read.outcome != ReadOutcome::Reply && !values->empty())) {
        *why = "no \"values\" of a scan";
        return false;
    }
    if (read.outcome == ReadOutcome::Reply && !ReadValues(*values, columns_, &read, why)) {
        return false;
    }
    *record = std::move(read);
    return true;
}
