// What the simulator tells about each request: a line for people on stderr
// and, with --trace, a line for programs in the trace file (the format is in
// the --help text of k40sim).
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "sim/SimEngine.h"

class CRequestLog {
public:
    // log: where the people's lines go (null: nowhere); trace: the trace file (null: none).
    CRequestLog(std::FILE* log, std::FILE* trace);

    void Record(const SimEvent& ev, const std::string& clock);

    static std::string Hex(const std::vector<std::uint8_t>& bytes, bool spaced);
    // "12 1520.113 010300640009C413 reply - noise 01031200... 3CA5 0"
    static std::string TraceLine(const SimEvent& ev);
    // "10:42:07.123  01 03 00 64 00 09 C4 13  ->  01 03 12 ...  [noise]"
    static std::string LogLine(const SimEvent& ev, const std::string& clock);
    static const char* TraceHeader();

private:
    std::FILE* m_pLog;
    std::FILE* m_pTrace;
};
