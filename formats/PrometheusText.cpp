#include "formats/PrometheusText.h"

#include <charconv>
#include <cmath>

#include "formats/PrometheusFormat.h"
#include "formats/RecordFormat.h"

// Backslash, double quote and line feed are the three characters the format
// escapes in a label value.
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

std::string TargetLabels(const std::string& port, int slave) {
    return "port=" + LabelValue(port) + ",slave=\"" + std::to_string(slave) + "\"";
}

void Family(std::string* out, const char* name, const char* type, const char* help) {
    *out += std::string("# HELP ") + name + " " + help + "\n";
    *out += std::string("# TYPE ") + name + " " + type + "\n";
}

std::string PrometheusText(const ReadRecord& last, const std::vector<SignalReading>& columns,
                           const PrometheusScrape& scrape) {
    bool anyAnalog = false, anyBit = false;
    for (const SignalReading& c : columns) {
        (c.analog ? anyAnalog : anyBit) = true;
    }
    const bool reply = last.outcome == ReadOutcome::Reply;
    // The labels that name the unit come first in every sample.
    const std::string target = TargetLabels(scrape.port, scrape.slave);
    std::string out;
    Family(&out, "k40_up", "gauge",
           "1 when the last scan got a reply, 0 when it got none, an exception reply, or the "
           "port was lost.");
    out += "k40_up{" + target + "} " + (reply ? "1" : "0") + "\n";
    if (anyAnalog) {
        Family(&out, "k40_analog_value", "gauge",
               "Analog measurement of the unit from its holding registers, in the physical "
               "unit of the measurement.");
        for (const SignalReading& c : columns) {
            const SignalReading* r = reply && c.analog ? FindReading(last, c) : nullptr;
            if (r) {
                out += "k40_analog_value{" + target + ",name=" + LabelValue(c.name) +
                       ",register=\"" + std::to_string(c.reg) +
                       "\",unit=" + LabelValue(c.physicalUnit) + "} " +
                       SampleValue(ShownValue(*r)) + "\n";
            }
        }
    }
    if (anyBit) {
        Family(&out, "k40_status_bit", "gauge", "Status bit of the unit (0 or 1).");
        for (const SignalReading& c : columns) {
            const SignalReading* r = reply && !c.analog ? FindReading(last, c) : nullptr;
            if (r) {
                out += "k40_status_bit{" + target + ",name=" + LabelValue(c.name) + ",bit=\"" +
                       std::to_string(c.reg) + "\",legend=" + LabelValue(c.unit) + "} " +
                       (r->value != 0 ? "1" : "0") + "\n";
            }
        }
    }
    if (!scrape.scanCounters) {
        return out;
    }
    Family(&out, "k40_scans_failed_total", "counter",
           "Scans of this watch that got no reply or an exception reply, or fell due while "
           "the port was lost.");
    out += "k40_scans_failed_total{" + target + "} " + std::to_string(scrape.failedScans) + "\n";
    Family(&out, "k40_scans_total", "counter", "Scans of this watch, made or due.");
    out += "k40_scans_total{" + target + "} " + std::to_string(scrape.scans) + "\n";
    return out;
}
