// One named signal of the unit with its value: an analog measurement or a
// status bit, its texts in UTF-8. The signals a read returns, and (without
// values) the columns a scan fills.
#pragma once

#include <string>
#include <vector>

struct SignalReading {
    int reg = 0;          // analog: holding register 100..108; status bit: bit number 0..14
    bool analog = false;  // an analog measurement, or a status bit
    std::string name;     // the signal's name, "电池组电流"
    double value = 0;     // analog: the value as the read page shows it; bit: 0 or 1
    std::string text;     // the value as the read page shows it: "220.0", "1"
    std::string unit;  // analog: the unit, "V"; status bit: its legend, "0：自动，1：手动"
    // Analog: the physical unit of the measurement ("V", "A", "°C"); the unit
    // column above is the table's text as the unit's documentation gives it,
    // which names "A" for a voltage and "V" for the currents and the
    // temperature. Empty for a status bit.
    std::string physicalUnit;
    // Raw access to registers: the registers of the value as they came
    // ("0x7FC0", "0x0000"); shown beside a value that is no number.
    std::vector<std::string> registers = {};
};
