#include "unit/ReadDecode.h"

#include <charconv>
#include <cstdio>
#include <system_error>

float AnalogValue(std::uint16_t raw) {
    // 2^-15 + 2^-30, not 1/32768: the unit scales full range to 32767 counts.
    const float k = 1.0f / 32767.0f;
    return static_cast<float>((static_cast<double>(raw) * static_cast<double>(k) - 1.0) * 500.0);
}

namespace {

// "%5.1f" without the C library's locale: snprintf takes its decimal point
// from LC_NUMERIC, which the application object sets from the environment, so
// a German desktop would show "220,0". to_chars rounds the exact binary value
// to one decimal as printf does (ties to even) and always writes '.'.
std::string FormatAnalog(double value) {
    char digits[64];
    const std::to_chars_result result =
        std::to_chars(digits, digits + sizeof digits, value, std::chars_format::fixed, 1);
    std::string text(digits, result.ec == std::errc() ? result.ptr : digits);
    if (text.size() < 5) {
        text.insert(0, 5 - text.size(), ' ');
    }
    return text;
}

std::string FormatBit(int bit) {
    char text[8];
    std::snprintf(text, sizeof text, "%1d", bit);
    return text;
}

}  // namespace

std::vector<DecodedRow> DecodeReadReply(ReadCommand command, const std::uint8_t* reply, int length,
                                        int recordCount) {
    std::vector<DecodedRow> rows;
    if (length < 3) {
        return rows;
    }
    // Never read past the frame: at most the data bytes between count and CRC.
    int n = reply[2];
    if (n > length - 5) {
        n = length - 5 > 0 ? length - 5 : 0;
    }
    const std::uint8_t* data = reply + 3;

    if (command == ReadCommand::Analog03) {
        const int registers = n >> 1;  // an odd last byte has no register
        for (int i = 0; i < registers && i < recordCount; ++i) {
            const auto raw = static_cast<std::uint16_t>(data[2 * i] << 8 | data[2 * i + 1]);
            rows.push_back({i, FormatAnalog(static_cast<double>(AnalogValue(raw)))});
        }
        return rows;
    }

    for (int b = 0; b < n; ++b) {
        // A register arrives high byte first; its bit 0 is in the second byte.
        const int byteIndex = command == ReadCommand::Register03 ? (b ^ 1) : b;
        if (byteIndex >= n) {
            break;
        }
        for (int j = 0; j < 8; ++j) {
            const int r = 8 * b + j;
            if (r >= recordCount) {
                return rows;
            }
            rows.push_back({r, FormatBit((data[byteIndex] >> j) & 1)});
        }
    }
    return rows;
}
