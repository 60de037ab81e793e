// The raw line state both ends of a Modbus RTU line use: 8 data bits, the
// parity and stop bits of the line, no flow control, no translation, reads
// that never wait.
#pragma once

#include <cstdint>

#include "link/LineSettings.h"

// The termios speed constant of a rate, or 0 (B0) when there is none.
unsigned TermiosSpeed(std::uint32_t baud);

// Puts the terminal fd in that state; baud 0 keeps the rate it has.
// False when the rate is unknown or the terminal refuses the state.
bool SetRawLine(int fd, const LineSettings& line);

// The termios flags of the parity and stop bits: PARENB, PARODD, CSTOPB in
// the control flags; INPCK and IGNPAR in the input flags when there is a
// parity bit, so that a byte failing its parity (or its framing) is dropped
// rather than read as a wrong byte or a zero.
struct FrameFlags {
    unsigned control = 0;
    unsigned input = 0;
};
FrameFlags TermiosFrameFlags(const LineSettings& line);
