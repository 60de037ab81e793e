#include "link/HexEcho.h"

namespace {

const char kDigits[] = "0123456789ABCDEF";

std::string HexText(const std::uint8_t* data, int count, bool breakLines) {
    const int n = count > kHexEchoMaxBytes ? kHexEchoMaxBytes : count;
    std::string text;
    if (n <= 0) {
        return text;
    }
    text.reserve(static_cast<std::size_t>(n) * 3 + static_cast<std::size_t>(n / 10) * 2);
    for (int i = 0; i < n; ++i) {
        text += kDigits[data[i] >> 4];
        text += kDigits[data[i] & 0x0F];
        text += ' ';
        if (breakLines && i % 10 == 9) {
            text += "\r\n";
        }
    }
    return text;
}

}  // namespace

std::string HexEchoSendText(const std::uint8_t* data, int count) {
    return HexText(data, count, false);
}

std::string HexEchoRecvText(const std::uint8_t* data, int count) {
    return HexText(data, count, true);
}

std::string HexBytes(const std::uint8_t* data, int count) {
    std::string text;
    for (int i = 0; i < count; ++i) {
        if (i > 0) {
            text += ' ';
        }
        text += kDigits[data[i] >> 4];
        text += kDigits[data[i] & 0x0F];
    }
    return text;
}
