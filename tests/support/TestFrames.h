// Modbus RTU frames for the tests of the simulator and of the console pages,
// built with a bitwise CRC-16/MODBUS of the tests' own, so that the frames the
// tests expect do not lean on the table-driven CRC they check. Checking a frame
// uses the link's own test, the one the program makes.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <vector>

#include "link/Crc.h"

using Bytes = std::vector<std::uint8_t>;

inline std::uint16_t BitwiseCrc(const Bytes& data) {
    std::uint16_t crc = 0xFFFF;
    for (std::uint8_t b : data) {
        crc ^= b;
        for (int i = 0; i < 8; ++i) {
            crc = (crc & 1) ? static_cast<std::uint16_t>((crc >> 1) ^ 0xA001)
                            : static_cast<std::uint16_t>(crc >> 1);
        }
    }
    return crc;  // low-order byte goes first on the wire
}

inline Bytes WithCrc(Bytes frame) {
    const std::uint16_t crc = BitwiseCrc(frame);
    frame.push_back(static_cast<std::uint8_t>(crc & 0xFF));
    frame.push_back(static_cast<std::uint8_t>(crc >> 8));
    return frame;
}

inline bool CrcValid(const Bytes& frame) {
    return EndsInOwnCrc(frame.data(), frame.size());
}

// An 8-byte request: address, function, a 16-bit address and a 16-bit value.
inline Bytes Request(int slave, int function, int address, int value) {
    return WithCrc({static_cast<std::uint8_t>(slave), static_cast<std::uint8_t>(function),
                    static_cast<std::uint8_t>(address >> 8), static_cast<std::uint8_t>(address),
                    static_cast<std::uint8_t>(value >> 8), static_cast<std::uint8_t>(value)});
}

inline Bytes Concat(std::initializer_list<Bytes> parts) {
    Bytes all;
    for (const Bytes& p : parts) {
        all.insert(all.end(), p.begin(), p.end());
    }
    return all;
}

// The value that the commissioning program shows for a raw analog register.
inline double ShownValue(std::uint16_t raw) {
    const float k = 1.0f / 32767.0f;
    return static_cast<float>((raw * static_cast<double>(k) - 1.0) * 500.0);
}

// The unit's reply to 01 on coils 0..14 with the bits 0x1234: bits 2, 4, 5,
// 9 and 12 set.
inline const Bytes kCoilReply = WithCrc({0x01, 0x01, 0x02, 0x34, 0x12});
