// The raw line state both ends of a Modbus RTU line use: 8 data bits, no
// parity, 1 stop bit, no flow control, no translation, reads that never wait.
#pragma once

#include <cstdint>

// The termios speed constant of a rate, or 0 (B0) when there is none.
unsigned TermiosSpeed(std::uint32_t baud);

// Puts the terminal fd in that state; baud 0 keeps the rate it has.
// False when the rate is unknown or the terminal refuses the state.
bool SetRaw8N1(int fd, std::uint32_t baud);
