// The unit's three reads as requests, and their replies as named readings
// with UTF-8 texts: what a program without the read page's list needs.
//
//   status bits: function 01, coils 0..14, or function 03, holding register 0;
//   analog values: function 03, holding registers 100..108.
#pragma once

#include <cstdint>
#include <vector>

#include "unit/ReadDecode.h"
#include "unit/SignalReading.h"

struct ReadRequest {
    std::uint8_t function = 0;
    int address = 0;
    std::uint16_t quantity = 0;
};

ReadRequest RequestOf(ReadCommand command);

// The signals a read returns, without values: the nine analog measurements
// (registers 100..108) or the fifteen status bits (0..14).
std::vector<SignalReading> AnalogColumns();
std::vector<SignalReading> BitColumns();
std::vector<SignalReading> ColumnsOf(ReadCommand command);

// The reply (as the exchange left it: at the start of the buffer, length
// bytes) decoded by the read page's own decoding, one reading a row.
std::vector<SignalReading> DecodeReadings(ReadCommand command, const std::uint8_t* reply,
                                          int length);
