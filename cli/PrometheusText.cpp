#include "cli/PrometheusText.h"

#include <charconv>
#include <cmath>

#include "cli/RecordFormat.h"

namespace {

// A label value in double quotes: backslash, double quote and line feed are
// the three characters the format escapes.
std::string LabelValue(const std::string& text) {
    std::string out = "\"";
    for (char c : text) {
        if (c == '\\') {
            out += "\\\\";
        } else if (c == '"') {
            out += "\\\"";
        } else if (c == '\n') {
            out += "\\n";
        } else {
            out += c;
        }
    }
    return out + '"';
}

// A sample value: the shortest text that reads back as the same double.
std::string SampleValue(double value) {
    if (std::isnan(value)) {
        return "NaN";
    }
    if (std::isinf(value)) {
        return value > 0 ? "+Inf" : "-Inf";
    }
    char buffer[32];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
    return std::string(buffer, result.ptr);
}

void Family(std::string* out, const char* name, const char* type, const char* help) {
    *out += std::string("# HELP ") + name + " " + help + "\n";
    *out += std::string("# TYPE ") + name + " " + type + "\n";
}

}  // namespace

std::string PrometheusText(const ReadRecord& last, const std::vector<SignalReading>& columns,
                           std::uint64_t failedScans, std::uint64_t scans) {
    bool anyAnalog = false, anyBit = false;
    for (const SignalReading& c : columns) {
        (c.analog ? anyAnalog : anyBit) = true;
    }
    const bool reply = last.outcome == ReadOutcome::Reply;
    std::string out;
    if (anyAnalog) {
        Family(&out, "k40_analog_value", "gauge",
               "Analog measurement of the unit from its holding registers, as the read page "
               "shows it.");
        for (const SignalReading& c : columns) {
            const SignalReading* r = reply && c.analog ? FindReading(last, c) : nullptr;
            if (r) {
                out += "k40_analog_value{name=" + LabelValue(c.name) + ",register=\"" +
                       std::to_string(c.reg) + "\",unit=" + LabelValue(c.unit) + "} " +
                       SampleValue(ShownValue(*r)) + "\n";
            }
        }
    }
    if (anyBit) {
        Family(&out, "k40_status_bit", "gauge", "Status bit of the unit (0 or 1).");
        for (const SignalReading& c : columns) {
            const SignalReading* r = reply && !c.analog ? FindReading(last, c) : nullptr;
            if (r) {
                out += "k40_status_bit{name=" + LabelValue(c.name) + ",bit=\"" +
                       std::to_string(c.reg) + "\",legend=" + LabelValue(c.unit) + "} " +
                       (r->value != 0 ? "1" : "0") + "\n";
            }
        }
    }
    Family(&out, "k40_scans_failed_total", "counter",
           "Scans of this watch that got no reply or an exception reply.");
    out += "k40_scans_failed_total " + std::to_string(failedScans) + "\n";
    Family(&out, "k40_scans_total", "counter", "Scans made by this watch.");
    out += "k40_scans_total " + std::to_string(scans) + "\n";
    return out;
}
