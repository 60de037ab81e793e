// Why a Modbus TCP frame that carries the request's transaction id does not
// answer the request, in words for the diagnosis. A pure function of bytes.
#pragma once

#include <cstdint>
#include <string>

// frame and request are whole MBAP frames, the frame at least 8 bytes:
// "function 04, expected 03", "byte count 4, expected 8", "confirms address 10
// quantity 1, expected address 40 quantity 2", ...
std::string MbapMismatch(const std::uint8_t* frame, int length, const std::uint8_t* request);
