// The CRC-16 of Modbus RTU frames, table-driven as the Modbus serial line
// protocol publishes it, and the one test every part of the program makes of a
// frame: does it end in its own CRC?
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

// CRC-16/MODBUS of length bytes; the high byte of the result is the byte sent
// first (the CRC's low-order byte), so it can be written out high byte first.
std::uint16_t Crc16(const std::uint8_t* data, std::size_t length);

// True when the last two of length bytes (length >= 3) are the CRC of the
// bytes before them.
bool EndsInOwnCrc(const std::uint8_t* frame, std::size_t length);

// Appends the CRC of frame to it, in the order it goes on the wire.
void AppendCrc(std::vector<std::uint8_t>& frame);
