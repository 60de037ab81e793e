#include "link/LineSettings.h"

int CharacterBits(const LineSettings& line) {
    return 1 + 8 + (line.parity == Parity::None ? 0 : 1) + line.stopBits;
}

std::int64_t CharacterNs(const LineSettings& line) {
    if (line.baud == 0) {
        return 0;
    }
    return CharacterBits(line) * 1000000000ll / line.baud;
}

std::uint32_t FrameGapMs(const LineSettings& line) {
    if (line.baud == 0 || line.baud > 19200) {
        return 2;
    }
    // 3.5 characters in ms: 3.5 * bits * 1000 / baud, in whole numbers.
    const std::uint32_t bitsTimesThousand = 3500u * static_cast<std::uint32_t>(CharacterBits(line));
    return (bitsTimesThousand + line.baud - 1) / line.baud;
}

std::string FrameName(const LineSettings& line) {
    const char parity = line.parity == Parity::Even ? 'E' : line.parity == Parity::Odd ? 'O' : 'N';
    return std::string("8") + parity + std::to_string(line.stopBits);
}

std::string LineName(const LineSettings& line) {
    return std::to_string(line.baud) + " baud " + FrameName(line);
}

const char* ParityName(Parity parity) {
    switch (parity) {
        case Parity::Even:
            return "even";
        case Parity::Odd:
            return "odd";
        case Parity::None:
            break;
    }
    return "none";
}

bool ParseParity(const std::string& word, Parity& parity) {
    for (Parity p : {Parity::None, Parity::Even, Parity::Odd}) {
        if (word == ParityName(p)) {
            parity = p;
            return true;
        }
    }
    return false;
}
