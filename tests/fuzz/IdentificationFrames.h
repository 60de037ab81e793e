// The replies of 17 (Report Server ID) and 43/14 (Read Device Identification)
// as the Modbus application protocol lays them out, for the fuzz targets'
// invariants: body is the frame without its CRC (address or unit id, PDU).
#pragma once

#include <cstdint>

// Byte count, then exactly that many bytes (at least one).
inline bool IsServerIdBody(const std::uint8_t* body, int length) {
    return length >= 4 && body[1] == 0x11 && body[2] == length - 3;
}

// MEI type 0E, the read code asked, conformity, more follows (00 or FF), next
// object id, object count, then the objects (id, length, value) to the end.
inline bool IsDeviceIdBody(const std::uint8_t* body, int length, std::uint8_t readCode) {
    if (length < 8 || body[1] != 0x2B || body[2] != 0x0E || body[3] != readCode ||
        !(body[5] == 0x00 || body[5] == 0xFF)) {
        return false;
    }
    int end = 8;
    int objects = 0;
    while (end + 2 <= length && objects < body[7]) {
        end += 2 + body[end + 1];
        ++objects;
    }
    return objects == body[7] && end == length;
}
