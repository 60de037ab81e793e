#include "master/MbapMismatch.h"

#include "link/HexEcho.h"
#include "link/MbapFraming.h"

namespace {

std::string Word(const std::uint8_t* at) {
    return std::to_string(at[0] << 8 | at[1]);
}

std::string Hex(std::uint8_t value) {
    return HexBytes(&value, 1);
}

// What a write's reply confirms against what was asked: 05/06 repeat the
// address and value, 15/16 the start and quantity.
std::string Confirms(const std::uint8_t* pdu, int length, const std::uint8_t* asked) {
    const char* second = asked[0] == 0x05 || asked[0] == 0x06 ? " value " : " quantity ";
    if (length != 5) {
        return std::to_string(length - 1) + " bytes after the function code, expected 4";
    }
    return "confirms address " + Word(pdu + 1) + second + Word(pdu + 3) + ", expected address " +
           Word(asked + 1) + second + Word(asked + 3);
}

}  // namespace

std::string MbapMismatch(const std::uint8_t* frame, int length, const std::uint8_t* request) {
    const std::uint8_t* pdu = frame + kMbapHeader;
    const std::uint8_t* asked = request + kMbapHeader;
    const int pduLength = length - kMbapHeader;
    const std::uint8_t function = asked[0];
    if (pdu[0] == (function | 0x80)) {
        return "an exception frame of " + std::to_string(pduLength) + " bytes, expected 2";
    }
    if (pdu[0] != function) {
        return "function " + Hex(pdu[0]) + ", expected " + Hex(function);
    }
    if (function >= 0x01 && function <= 0x04) {
        const int quantity = asked[3] << 8 | asked[4];
        const int expected = function <= 0x02 ? (quantity + 7) / 8 : 2 * quantity;
        if (pduLength < 2 || pdu[1] != expected) {
            return "byte count " + (pduLength < 2 ? std::string("missing") : std::to_string(pdu[1])) +
                   ", expected " + std::to_string(expected);
        }
        return "byte count " + std::to_string(expected) + " with " +
               std::to_string(pduLength - 2) + " data bytes";
    }
    if (function == 0x05 || function == 0x06 || function == 0x0F || function == 0x10) {
        return Confirms(pdu, pduLength, asked);
    }
    return "length " + std::to_string(pduLength);
}
