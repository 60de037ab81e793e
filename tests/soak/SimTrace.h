// The trace file of k40sim (--trace FILE), read back: one record per request
// frame that the simulator found on the line, in the order it found them,
// with what it did about it. The line format is in "k40sim --help":
//   SEQ T_MS REQUEST OUTCOME CODE FAULTS FRAME JUNK DELAY_MS
#pragma once

#include <cstdint>
#include <string>
#include <vector>

using Bytes = std::vector<std::uint8_t>;

struct TraceRecord {
    std::uint64_t seq = 0;
    double tMs = 0;  // when the request was complete, ms after the simulator's start
    Bytes request;
    std::string outcome;  // reply | exception | silent | ignored
    int code = -1;        // the exception code, -1 when none
    std::vector<std::string> faults;
    Bytes frame;  // the reply as sent (with corrupt: its bad CRC); empty if none
    Bytes junk;   // noise sent ahead of it
    std::uint32_t delayMs = 0;

    bool Has(const std::string& fault) const;
};

class CSimTrace {
public:
    // All records of the file; false with error set when it cannot be read or
    // a line is malformed.
    static bool Load(const std::string& path, std::vector<TraceRecord>& records,
                     std::string& error);
    static bool ParseLine(const std::string& line, TraceRecord& record);
    // Hex digits without separators ("-" is empty); false on anything else.
    static bool FromHex(const std::string& text, Bytes& bytes);
};
