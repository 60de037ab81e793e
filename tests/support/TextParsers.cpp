#include "tests/support/TextParsers.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>

namespace {

// A folder of its own for the files of one run, removed with them.
class TempFolder {
public:
    TempFolder() { EXPECT_NE(mkdtemp(path_), nullptr); }
    ~TempFolder() {
        for (const std::string& file : files_) {
            std::remove(file.c_str());
        }
        rmdir(path_);
    }
    std::string Write(const std::string& name, const std::string& text) {
        files_.push_back(std::string(path_) + "/" + name);
        std::ofstream(files_.back(), std::ios::binary) << text;
        return files_.back();
    }

private:
    char path_[32] = "/tmp/k40cli.XXXXXX";
    std::vector<std::string> files_;
};

ToolRun Run(const std::string& command) {
    ToolRun run;
    FILE* pipe = popen((command + " 2>&1").c_str(), "r");
    char buffer[4096];
    for (std::size_t n; (n = fread(buffer, 1, sizeof buffer, pipe)) > 0;) {
        run.out.append(buffer, n);
    }
    run.status = pclose(pipe);
    return run;
}

}  // namespace

ToolRun RunOnText(const std::string& command, const std::string& text) {
    TempFolder folder;
    const std::string path = folder.Write("data", text);
    std::string line = command;
    for (std::size_t at; (at = line.find("{}")) != std::string::npos;) {
        line.replace(at, 2, path);
    }
    return Run(line);
}

nlohmann::json ParseWithPython(const std::string& script, const std::string& text) {
    TempFolder folder;
    const std::string scriptPath = folder.Write("check.py", script);
    const ToolRun run = RunOnText(std::string(K40_PYTHON3) + " " + scriptPath + " {}", text);
    EXPECT_EQ(run.status, 0) << run.out;
    return run.status == 0 ? nlohmann::json::parse(run.out) : nlohmann::json();
}

const char* const kPrometheusParser = R"(
import json, sys
from prometheus_client.parser import text_string_to_metric_families
with open(sys.argv[1], encoding='utf-8', errors='strict') as f:
    families = text_string_to_metric_families(f.read())
    print(json.dumps([[m.name, m.type, s.name, s.labels, s.value]
                      for m in families for s in m.samples]))
)";
