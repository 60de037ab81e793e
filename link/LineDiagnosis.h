// What the bytes of a failed exchange say about the line, for telling an
// engineer why a command got no reply. A pure function of the request, the
// bytes received and the slave address; the exchange keeps all of them.
//
//   Nothing       no byte at all: wiring, power, address or A/B swapped
//   EchoOnly      only the copy of the request came back, and the line is known
//                 to echo (or the request was a read, which no reply can equal):
//                 the adapter echoes and the unit is silent
//   LoneCopy      one copy of a write request and nothing after, on a line only
//                 assumed to echo (echo on): a silent unit behind an echoing
//                 adapter, or a line that does not echo whose copy was the reply
//   EchoAltered   the copy of the request was expected and came back altered (a
//                 collision, a byte lost): the one cause, whatever followed it
//   NoFrame       bytes, but no valid frame in them: baud rate or parity wrong,
//                 or noise (the first bytes are kept to show); damagedReply
//                 tells the two apart (see DamagedReply)
//   CrcError      a frame whose address, function and length answer the request
//                 but whose CRC is wrong: noise, termination or earthing (the
//                 whole frame is kept to show)
//   OtherSlave    a valid frame from another slave address
//   EarlierReply  a valid frame from our slave that does not answer this
//                 request: most likely the late reply to an earlier one
//   PeerClosed    the device server closed the connection after the request
//   Exception     an exception reply from our slave
//   Answered      the reply is there (the exchange did not fail)
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "link/Exchange.h"

enum class LineFinding {
    Nothing,
    EchoOnly,
    LoneCopy,
    EchoAltered,
    NoFrame,
    CrcError,
    OtherSlave,
    EarlierReply,
    PeerClosed,
    Exception,
    Answered  // stays last: kLineFindings counts up to it
};
constexpr std::size_t kLineFindings = static_cast<std::size_t>(LineFinding::Answered) + 1;

struct LineDiagnosis {
    LineFinding finding = LineFinding::Nothing;
    // A copy of the request came back first (removed by the exchange, or found here).
    bool echoSeen = false;
    // The line is a connection to a serial device server: its wires, baud rate
    // and parity are the server's, out of the master's reach.
    bool connection = false;
    // NoFrame, PeerClosed: the first bytes received, at most kShownBytes;
    // CrcError: the whole frame; EchoAltered: what came back in the copy's place.
    std::vector<std::uint8_t> bytes;
    // NoFrame: the bytes are a damaged copy of a reply (DamagedReply): a
    // parity or stop-bit mismatch fits them; otherwise only a wrong rate does.
    bool damagedReply = false;
    // EchoAltered: a whole reply to the request followed the altered copy.
    bool replyAfterCopy = false;
    int otherSlave = 0;              // OtherSlave: the address the frame came from
    std::uint8_t function = 0;       // OtherSlave, EarlierReply: the frame's function code
    std::uint8_t exceptionCode = 0;  // Exception
};

class CLineDiagnosis {
public:
    static constexpr int kShownBytes = 16;

    // request: the frame sent; received, length: the bytes that came back
    // after the removed copy of the request (all of them when none was
    // removed); echoRemoved: whether the exchange removed such a copy.
    static LineDiagnosis Classify(const std::uint8_t* request, const std::uint8_t* received,
                                  int length, int slaveAddr, bool echoRemoved);
    // What came back when the copy of the request was expected and something
    // else arrived in its place: received holds everything since the request.
    static LineDiagnosis AlteredCopy(const std::uint8_t* request, const std::uint8_t* received,
                                     int length, int slaveAddr);
    // The same for the exchange that just ran on comm, from what it kept.
    static LineDiagnosis OfExchange(const CModbusComm& comm, const ExchangeResult& result);
    // Whether bytes without a valid frame are what a parity mismatch makes of
    // the reply. The receiving UART samples the data bits at the right rate,
    // so they arrive intact; only the bit after them is wrong (a parity bit
    // where a stop bit was expected, or the next start bit where a parity bit
    // was), and the driver drops that byte or puts a zero in its place. What
    // is left is the reply with holes: it still begins with our address and
    // the request's function (or its exception), and it is no longer than
    // the reply would be. At a wrong rate every bit is sampled at the wrong
    // time, and the bytes are garbage of any length that almost never start
    // with both. received, length: the bytes after any copy of the request.
    static bool DamagedReply(const std::uint8_t* request, const std::uint8_t* received,
                             int length, int slaveAddr);
    // The name of a finding for logs and tests: "nothing", "echo-only", ...
    static const char* Name(LineFinding finding);

private:
    // The length of a frame that starts with this address and function, as a
    // slave sends it, or 0 when the function is not one of the known ones or
    // the header is not all there.
    static int FrameLength(const std::uint8_t* at, int available);
    // Whether the n bytes at f would answer the request if their CRC were right.
    static bool AnswersButForCrc(const std::uint8_t* f, int n, int slaveAddr,
                                 const std::uint8_t* request);
};
