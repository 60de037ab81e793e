// Outputs read back by independent parsers: a Python script (Debian's
// python3, with its csv and json modules and python3-prometheus-client) or a
// tool such as promtool, run on a temporary file holding the text.
#pragma once

#include <string>

#include <nlohmann/json.hpp>

struct ToolRun {
    int status = -1;  // the shell's exit status, 0 when the tool succeeded
    std::string out;  // its standard output and error
};

// Runs command through the shell with every "{}" in it replaced by the path
// of a file holding the text.
ToolRun RunOnText(const std::string& command, const std::string& text);

// Runs the Python script with the path of a file holding the text as its
// argument; returns what it printed, parsed as JSON (a failed test and null
// when the script fails).
nlohmann::json ParseWithPython(const std::string& script, const std::string& text);

// A Python script printing the Prometheus text's samples, read by the
// Prometheus client's parser, each as [family, type, sample, labels, value].
extern const char* const kPrometheusParser;
