// Constant tables of the Modbus CRC-16, in the order and under the names of the
// Modbus serial line protocol's table-driven routine.
#pragma once

#include <cstdint>

extern const std::uint8_t auchCRCHi[256];  // begins 00 C1 81 40
extern const std::uint8_t auchCRCLo[256];  // begins 00 C0 C1 01
