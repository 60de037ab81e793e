// The pieces of the Prometheus text exposition format (0.0.4) that k40ctl's
// two exporters share: the textfile written by `watch --prometheus` and the
// /metrics answer of `serve`.
#pragma once

#include <string>

// A label value in double quotes, with backslash, double quote and line feed
// escaped.
std::string LabelValue(const std::string& text);

// A sample value: the shortest text that reads back as the same double
// ("NaN", "+Inf" and "-Inf" as the format spells them).
std::string SampleValue(double value);

// The labels that name a unit, first in every sample: port="...",slave="N".
std::string TargetLabels(const std::string& port, int slave);

// Appends a family's HELP and TYPE lines to *out.
void Family(std::string* out, const char* name, const char* type, const char* help);
