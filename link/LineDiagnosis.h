// What the bytes of a failed exchange say about the line, for telling an
// engineer why a command got no reply. A pure function of the request, the
// bytes received and the slave address; the exchange keeps all of them.
//
//   Nothing       no byte at all: wiring, power, address or A/B swapped
//   EchoOnly      only the copy of the request came back: the adapter echoes
//                 and the unit is silent
//   NoFrame       bytes, but no valid frame in them: baud rate or parity wrong,
//                 or noise (the first bytes are kept to show)
//   OtherSlave    a valid frame from another slave address
//   EarlierReply  a valid frame from our slave that does not answer this
//                 request: most likely the late reply to an earlier one
//   Exception     an exception reply from our slave
//   Answered      the reply is there (the exchange did not fail)
#pragma once

#include <cstdint>
#include <vector>

#include "link/Exchange.h"

enum class LineFinding {
    Nothing,
    EchoOnly,
    NoFrame,
    OtherSlave,
    EarlierReply,
    Exception,
    Answered
};

struct LineDiagnosis {
    LineFinding finding = LineFinding::Nothing;
    // A copy of the request came back first (removed by the exchange, or found here).
    bool echoSeen = false;
    // The exchange expected the copy and got something else in its place (a
    // collision, a copy one byte short): from the exchange's result.
    bool echoAltered = false;
    std::vector<std::uint8_t> firstBytes;  // NoFrame: the first bytes received, at most kShownBytes
    int otherSlave = 0;                    // OtherSlave: the address the frame came from
    std::uint8_t function = 0;             // OtherSlave, EarlierReply: the frame's function code
    std::uint8_t exceptionCode = 0;        // Exception
};

class CLineDiagnosis {
public:
    static constexpr int kShownBytes = 16;

    // request: the 8 bytes sent; received, length: the bytes that came back
    // after the removed copy of the request (all of them when none was
    // removed); echoRemoved: whether the exchange removed such a copy.
    static LineDiagnosis Classify(const std::uint8_t* request, const std::uint8_t* received,
                                  int length, int slaveAddr, bool echoRemoved);
    // The same for the exchange that just ran on comm, from what it kept.
    static LineDiagnosis OfExchange(const CModbusComm& comm, const ExchangeResult& result);
    // The name of a finding for logs and tests: "nothing", "echo-only", ...
    static const char* Name(LineFinding finding);

private:
    // The length of a frame that starts with this address and function, as a
    // slave sends it, or 0 when the function is not one of the known ones or
    // the header is not all there.
    static int FrameLength(const std::uint8_t* at, int available);
};
