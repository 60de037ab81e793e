#include "formats/CensusFormat.h"

#include <algorithm>
#include <nlohmann/json.hpp>

#include "formats/DisplayWidth.h"
#include "formats/RecordFormat.h"
#include "unit/ExceptionText.h"

namespace {

// Table columns: header and width (the last column takes what it needs).
struct Column {
    const char* title;
    std::size_t width;
};
const Column kColumns[] = {{"ADDRESS", 8},    {"ANSWER", 13},  {"DEVICE", 13},
                           {"VENDOR", 16},    {"PRODUCT", 16}, {"REVISION", 9},
                           {"SERVER-ID", 18}, {"RUN", 4},      {"DATA", 0}};
constexpr const char* kUnitName = "HCU-K40 unit";

std::string AnswerWord(const CensusEntry& e) {
    if (e.answer.outcome != ReadOutcome::Exception) {
        return "reply";
    }
    char text[24];
    std::snprintf(text, sizeof text, "exception %02X",
                  static_cast<unsigned>(e.answer.exceptionCode));
    return text;
}

const char* RunWord(int run) {
    return run == 1 ? "on" : run == 0 ? "off" : "";
}

const char* FunctionWord(IdentitySource source) {
    return source == IdentitySource::DeviceId   ? "43"
           : source == IdentitySource::ServerId ? "17"
                                                : "";
}

std::string TableRow(const std::vector<std::string>& cells) {
    std::string line;
    for (std::size_t i = 0; i < cells.size(); ++i) {
        const std::size_t width = kColumns[i].width;
        line += width == 0 ? cells[i] : PadRight(cells[i], width - 1) + " ";
    }
    while (!line.empty() && line.back() == ' ') {
        line.pop_back();
    }
    return line + "\n";
}

nlohmann::ordered_json Identification(const CensusEntry& e) {
    switch (e.source) {
        case IdentitySource::DeviceId:
            return {{"function", 43},
                    {"vendor", e.vendor},
                    {"product", e.product},
                    {"revision", e.revision}};
        case IdentitySource::ServerId: {
            nlohmann::ordered_json id = {{"function", 17}, {"server_id", e.serverId}};
            id["run"] = e.run < 0 ? nlohmann::ordered_json() : nlohmann::ordered_json(e.run == 1);
            id["data"] = e.data;
            return id;
        }
        case IdentitySource::None:
            break;
    }
    return nullptr;
}

std::string JsonCensusLine(const CensusEntry& e) {
    nlohmann::ordered_json line = {{"address", e.address}};
    const bool exception = e.answer.outcome == ReadOutcome::Exception;
    line["answer"] = exception ? "exception" : "reply";
    if (exception) {
        line["exception"] = {{"code", e.answer.exceptionCode},
                             {"name", e.answer.exceptionName},
                             {"name_en", ExceptionNameEnglish(e.answer.exceptionCode)}};
    }
    line["unit"] = e.unit;
    line["identification"] = Identification(e);
    return line.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace) + "\n";
}

}  // namespace

std::string CensusHeader(OutputFormat format) {
    switch (format) {
        case OutputFormat::Json:
            return {};
        case OutputFormat::Csv:
            return CsvLine({"address", "answer", "exception", "unit", "function", "vendor",
                            "product", "revision", "server_id", "run", "data"});
        case OutputFormat::Table:
        case OutputFormat::Prometheus:
            break;
    }
    std::vector<std::string> titles;
    for (const Column& c : kColumns) {
        titles.push_back(c.title);
    }
    return TableRow(titles);
}

std::string CensusLine(OutputFormat format, const CensusEntry& e) {
    switch (format) {
        case OutputFormat::Json:
            return JsonCensusLine(e);
        case OutputFormat::Csv:
            return CsvLine(
                {std::to_string(e.address),
                 e.answer.outcome == ReadOutcome::Exception ? "exception" : "reply",
                 e.answer.outcome == ReadOutcome::Exception ? ExceptionText(e.answer) : "",
                 e.unit ? "yes" : "no", FunctionWord(e.source), e.vendor, e.product, e.revision,
                 e.serverId, RunWord(e.run), e.data});
        case OutputFormat::Table:
        case OutputFormat::Prometheus:
            break;
    }
    return TableRow({std::to_string(e.address), AnswerWord(e), e.unit ? kUnitName : "-", e.vendor,
                     e.product, e.revision, e.serverId, RunWord(e.run), e.data});
}
