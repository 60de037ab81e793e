// The settings of a serial line: its rate, its parity and its stop bits. The
// data bits are always 8, as Modbus RTU has them. The unit itself talks 8N1;
// other devices on a bus often keep the protocol's default, 8E1.
#pragma once

#include <cstdint>
#include <string>

enum class Parity { None, Even, Odd };

struct LineSettings {
    std::uint32_t baud = 9600;
    Parity parity = Parity::None;
    int stopBits = 1;  // 1 or 2

    bool operator==(const LineSettings& o) const {
        return baud == o.baud && parity == o.parity && stopBits == o.stopBits;
    }
    bool operator!=(const LineSettings& o) const { return !(*this == o); }
};

// The bits one character takes on the line: a start bit, 8 data bits, the
// parity bit if there is one, and the stop bits: 10, 11 or 12.
int CharacterBits(const LineSettings& line);

// One character's time on the line in nanoseconds; 0 for baud 0.
std::int64_t CharacterNs(const LineSettings& line);

// The 3.5 characters of quiet that end an RTU frame, in whole milliseconds
// rounded up. Above 19200 baud the serial line protocol fixes the gap at
// 1.75 ms (2 here) whatever the character, and so does baud 0 (rate unknown).
std::uint32_t FrameGapMs(const LineSettings& line);

// The frame as engineers write it: "8N1", "8E1", "8O2".
std::string FrameName(const LineSettings& line);
// "9600 baud 8E1".
std::string LineName(const LineSettings& line);

// "none", "even", "odd".
const char* ParityName(Parity parity);
// The parity a word names (none, even, odd); false for any other word.
bool ParseParity(const std::string& word, Parity& parity);
