#include "tests/soak/SimTrace.h"

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <sstream>

bool TraceRecord::Has(const std::string& fault) const {
    return std::find(faults.begin(), faults.end(), fault) != faults.end();
}

bool CSimTrace::FromHex(const std::string& text, Bytes& bytes) {
    bytes.clear();
    if (text == "-") {
        return true;
    }
    if (text.size() % 2 != 0) {
        return false;
    }
    for (std::size_t i = 0; i < text.size(); i += 2) {
        const std::string pair = text.substr(i, 2);
        char* end = nullptr;
        const unsigned long v = std::strtoul(pair.c_str(), &end, 16);
        if (end != pair.c_str() + 2) {
            return false;
        }
        bytes.push_back(static_cast<std::uint8_t>(v));
    }
    return true;
}

bool CSimTrace::ParseLine(const std::string& line, TraceRecord& r) {
    std::istringstream in(line);
    std::vector<std::string> f;
    for (std::string w; in >> w;) {
        f.push_back(w);
    }
    if (f.size() != 9) {
        return false;
    }
    char* end = nullptr;
    r.seq = std::strtoull(f[0].c_str(), &end, 10);
    if (*end != '\0') {
        return false;
    }
    r.tMs = std::strtod(f[1].c_str(), &end);
    if (*end != '\0' || !FromHex(f[2], r.request)) {
        return false;
    }
    r.outcome = f[3];
    r.code = f[4] == "-" ? -1 : static_cast<int>(std::strtol(f[4].c_str(), &end, 16));
    r.faults.clear();
    if (f[5] != "-") {
        std::istringstream names(f[5]);
        for (std::string name; std::getline(names, name, ',');) {
            r.faults.push_back(name);
        }
    }
    if (!FromHex(f[6], r.frame) || !FromHex(f[7], r.junk)) {
        return false;
    }
    r.delayMs = static_cast<std::uint32_t>(std::strtoul(f[8].c_str(), &end, 10));
    return *end == '\0';
}

bool CSimTrace::Load(const std::string& path, std::vector<TraceRecord>& records,
                     std::string& error) {
    std::ifstream in(path);
    if (!in) {
        error = "cannot read " + path;
        return false;
    }
    records.clear();
    int number = 0;
    for (std::string line; std::getline(in, line);) {
        ++number;
        if (line.empty() || line[0] == '#') {
            continue;
        }
        TraceRecord r;
        if (!ParseLine(line, r)) {
            error = path + ":" + std::to_string(number) + ": malformed: " + line;
            return false;
        }
        records.push_back(std::move(r));
    }
    return true;
}
