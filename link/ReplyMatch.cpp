#include "link/ReplyMatch.h"

#include <cstring>

#include "link/ModbusComm.h"

int ExpectedByteCount(const std::uint8_t* request) {
    const int quantity = request[4] << 8 | request[5];
    switch (request[1]) {
        case 0x01:
            return (quantity + 7) / 8;
        case 0x03:
            return 2 * quantity;
        default:
            return -1;
    }
}

namespace {

bool AnswersRequest(const std::uint8_t* frame, int length, const std::uint8_t* request) {
    const std::uint8_t function = request[1];
    switch (function) {
        case 0x01:
        case 0x03: {
            const int n = ExpectedByteCount(request);
            return frame[1] == function && length >= 3 && frame[2] == n && length == n + 5;
        }
        case 0x05:
        case 0x06:
            return length == 8 && std::memcmp(frame, request, 8) == 0;
        default:
            return frame[1] == function;
    }
}

}  // namespace

ReplyMatch FindReply(const std::uint8_t* buf, int len, int slaveAddr, const std::uint8_t* request) {
    ReplyMatch m;
    for (int i = 0; i < len; ++i) {
        if (static_cast<int>(buf[i]) != slaveAddr) {
            continue;
        }
        const int length = len - i;
        if (length < 4) {
            break;
        }
        const std::uint16_t crc = CModbusComm::Crc16(buf + i, length - 2);
        if (crc != static_cast<std::uint16_t>(buf[len - 2] << 8 | buf[len - 1])) {
            continue;
        }
        const std::uint8_t* frame = buf + i;
        if (AnswersRequest(frame, length, request)) {
            m.kind = ReplyKind::Reply;
        } else if (length == 5 && frame[1] == (request[1] | 0x80)) {
            m.kind = ReplyKind::Exception;
            m.exceptionCode = frame[2];
        } else {
            continue;
        }
        m.pos = i;
        m.length = length;
        return m;
    }
    return m;
}
