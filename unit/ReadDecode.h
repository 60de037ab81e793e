// Turning an accepted read reply into the rows of the read page's list: the
// row index and the value text. Pure functions on bytes, no windowing.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

enum class ReadCommand {
    Coils01,     // 01读DI: status bits as coils, least significant bit first
    Register03,  // 03读DI: status bits as one holding register, low byte first
    Analog03,    // 03读AI: analog values, one register each
};

struct DecodedRow {
    int index;          // row index, shown "%03d"
    std::string value;  // "%1d" for a bit, "%5.1f" for an analog value
};

// reply: the frame at the start of the receive buffer (address, function, byte
// count N, N data bytes, CRC), length bytes long. Rows stop at the table's last
// record (recordCount) and at the end of the data the frame carries.
std::vector<DecodedRow> DecodeReadReply(ReadCommand command, const std::uint8_t* reply, int length,
                                        int recordCount);

// The unit's analog scaling: raw 32767 is 0, each count 500/32767 of the unit.
// The factor is the single-precision number nearest 1/32767, the result is
// rounded to single precision.
float AnalogValue(std::uint16_t raw);
