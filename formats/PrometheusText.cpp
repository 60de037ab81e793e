#include "formats/PrometheusText.h"

#include <charconv>
#include <cmath>

#include "formats/PrometheusFormat.h"
#include "formats/RecordFormat.h"
#include "unit/Alarms.h"

namespace {

// The thirteen alarms from the status bits of a scan that got a reply, each
// 0 or 1 with its id, severity and Chinese name, and how many are active by
// severity: what alert rules are written against, so that no rule needs to
// know bit numbers or which bits are modes.
void AlarmFamilies(const ReadRecord& last, const std::vector<SignalReading>& columns,
                   const std::string& target, std::string* out) {
    int active[2] = {0, 0};
    std::string samples;
    for (const SignalReading& c : columns) {
        const BitMeaning* m = c.analog ? nullptr : MeaningOfBit(c.reg);
        const SignalReading* r = m != nullptr && m->kind == BitKind::Alarm ? FindReading(last, c)
                                                                           : nullptr;
        if (r == nullptr) {
            continue;
        }
        const bool raised = m->Raised(r->value);
        active[m->severity == Severity::Critical ? 0 : 1] += raised ? 1 : 0;
        samples += "k40_alarm{" + target + ",alarm=\"" + m->id + "\",severity=\"" +
                   SeverityWord(m->severity) + "\",name=" + LabelValue(c.name) + "} " +
                   (raised ? "1" : "0") + "\n";
    }
    if (samples.empty()) {
        return;
    }
    Family(out, "k40_alarm", "gauge",
           "1 while the unit raises the alarm, 0 while it does not; from the status bits of "
           "the last scan that got a reply.");
    *out += samples;
    Family(out, "k40_alarms_active", "gauge", "Alarms the unit raises, by severity.");
    for (const Severity s : {Severity::Critical, Severity::Warning}) {
        *out += "k40_alarms_active{" + target + ",severity=\"" + SeverityWord(s) + "\"} " +
                std::to_string(active[s == Severity::Critical ? 0 : 1]) + "\n";
    }
}

}  // namespace

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
        if (reply) {
            AlarmFamilies(last, columns, target, &out);
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
