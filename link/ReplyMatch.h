// Which bytes of the receive buffer answer the request that was sent.
//
// The search runs in the order of CModbusComm::CheckResponse: from every byte
// equal to the slave address, a candidate frame runs to the last byte received
// and must end in its own CRC. On top of that the frame must answer this very
// request, so that a late reply of an earlier command, or a frame of another
// kind, is never taken for this command's reply and a reply never decodes past
// its own end:
//   01 to 04:  the same function code, the byte count asked for (01, 02: one
//              bit an input rounded up to bytes, 03, 04: two bytes a register),
//              and exactly that many data bytes;
//   05 and 06: the 8-byte echo of the request;
//   15 and 16: 8 bytes, the request's address, function, start and quantity;
//   17 (report server id): a byte count and exactly that many data bytes
//              (at least one);
//   43/14 (read device identification): the MEI type and read code asked,
//              and objects (id, length, value) that fill the frame exactly,
//              as many as its object count says;
//   an exception: the function code with 0x80 set, 5 bytes in all.
// A frame that answers runs to the end of the buffer. For 01 to 06, 15 and 16
// its length is known, so at most two CRCs are computed, however much arrived
// in front of it; 17 and 43 replies vary in length and are searched from
// every byte equal to the address.
#pragma once

#include <cstdint>

enum class ReplyKind { None, Reply, Exception };

struct ReplyMatch {
    ReplyKind kind = ReplyKind::None;
    int pos = 0;     // where the frame starts in the buffer
    int length = 0;  // frame length, CRC included
    std::uint8_t exceptionCode = 0;
};

// MEI type 14 of function 43: Read Device Identification.
constexpr std::uint8_t kMeiDeviceId = 0x0E;

// A request is an RTU frame as sent: 8 bytes, for 15 and 16 nine plus its
// byte count, 4 for 17, 7 for 43/14 (RequestLength).
int RequestLength(const std::uint8_t* request);
// 01 to 04, 15, 16, 17 and 43: requests whose exact copy can never be taken for their
// reply (the reply differs in length), so seeing it proves that the line echoes.
bool CopyNeverAnswers(std::uint8_t function);
// How a frame answers the request by its content alone: body is the frame
// without its CRC (address and PDU, length bytes), as RTU and Modbus TCP carry
// it alike. Reply, Exception (with its code), or None.
ReplyKind AnswerOf(const std::uint8_t* body, int length, const std::uint8_t* request,
                   std::uint8_t& exceptionCode);

// request: the frame that was sent.
ReplyMatch FindReply(const std::uint8_t* buf, int len, int slaveAddr, const std::uint8_t* request);

// Where the exact copy of the request starts in the buffer, searching
// from the first byte (anywhere) or only at the first byte (!anywhere); -1
// when it is not there. A line that echoes returns this copy before the reply.
int FindRequestCopy(const std::uint8_t* buf, int len, const std::uint8_t* request, bool anywhere);
// True while the buffer can still grow into the copy: its bytes (at most the request's)
// are the first bytes of the request.
bool IsRequestPrefix(const std::uint8_t* buf, int len, const std::uint8_t* request);
