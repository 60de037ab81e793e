// One read of the unit as k40ctl reports it: when it was made, how the
// exchange ended, and on a reply the named values. Every output format (table,
// CSV, JSON Lines, the live view, the Prometheus text) is made from these.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

enum class ReadOutcome { Reply, Timeout, Exception };

// One signal of a read: an analog measurement or a status bit. Texts are UTF-8.
struct SignalReading {
    int reg = 0;          // analog: holding register 100..108; status bit: bit number 0..14
    bool analog = false;  // an analog measurement, or a status bit
    std::string name;     // the signal's name, "电池组电流"
    double value = 0;     // analog: the value as the read page shows it; bit: 0 or 1
    std::string text;     // the value as the read page shows it: "220.0", "1"
    std::string unit;  // analog: the unit, "V"; status bit: its legend, "0：自动，1：手动"
};

struct ReadRecord {
    std::chrono::system_clock::time_point time;
    ReadOutcome outcome = ReadOutcome::Timeout;
    std::uint8_t exceptionCode = 0;     // with ReadOutcome::Exception
    std::string exceptionName;          // with ReadOutcome::Exception, UTF-8
    std::vector<SignalReading> values;  // empty unless the read got a reply; a scan of
                                        // "all" holds the analog values, then the bits
};
