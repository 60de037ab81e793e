#include "link/Crc.h"

#include "link/CrcTables.h"

std::uint16_t Crc16(const std::uint8_t* data, std::size_t length) {
    std::uint8_t a = 0xFF;  // sent first
    std::uint8_t b = 0xFF;  // sent second
    for (std::size_t k = 0; k < length; ++k) {
        const std::uint8_t index = static_cast<std::uint8_t>(data[k] ^ a);
        a = static_cast<std::uint8_t>(auchCRCHi[index] ^ b);
        b = auchCRCLo[index];
    }
    return static_cast<std::uint16_t>(a << 8 | b);
}

bool EndsInOwnCrc(const std::uint8_t* frame, std::size_t length) {
    if (length < 3) {
        return false;
    }
    const std::uint16_t crc = Crc16(frame, length - 2);
    return frame[length - 2] == (crc >> 8) && frame[length - 1] == (crc & 0xFF);
}

void AppendCrc(std::vector<std::uint8_t>& frame) {
    const std::uint16_t crc = Crc16(frame.data(), frame.size());
    frame.push_back(static_cast<std::uint8_t>(crc >> 8));
    frame.push_back(static_cast<std::uint8_t>(crc));
}
