// Which bytes of the receive buffer answer the request that was sent.
//
// The search runs in the order of CModbusComm::CheckResponse: from every byte
// equal to the slave address, a candidate frame runs to the last byte received
// and must end in its own CRC. On top of that the frame must answer this very
// request, so that a late reply of an earlier command, or a frame of another
// kind, is never taken for this command's reply and a reply never decodes past
// its own end:
//   01 and 03: the same function code, the byte count asked for (01: one bit a
//              coil rounded up to bytes, 03: two bytes a register), and exactly
//              that many data bytes;
//   05 and 06: the 8-byte echo of the request;
//   an exception: the function code with 0x80 set, 5 bytes in all.
// A frame that answers runs to the end of the buffer and has a known length,
// so for these functions at most two CRCs are computed, however much arrived
// in front of it.
#pragma once

#include <cstdint>

enum class ReplyKind { None, Reply, Exception };

struct ReplyMatch {
    ReplyKind kind = ReplyKind::None;
    int pos = 0;     // where the frame starts in the buffer
    int length = 0;  // frame length, CRC included
    std::uint8_t exceptionCode = 0;
};

// request: the 8 bytes that were sent.
ReplyMatch FindReply(const std::uint8_t* buf, int len, int slaveAddr, const std::uint8_t* request);

// Where the exact 8-byte copy of the request starts in the buffer, searching
// from the first byte (anywhere) or only at the first byte (!anywhere); -1
// when it is not there. A line that echoes returns this copy before the reply.
int FindRequestCopy(const std::uint8_t* buf, int len, const std::uint8_t* request, bool anywhere);
// True while the buffer can still grow into the copy: its bytes (at most 8)
// are the first bytes of the request.
bool IsRequestPrefix(const std::uint8_t* buf, int len, const std::uint8_t* request);
