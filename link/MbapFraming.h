// Modbus TCP framing (MBAP), the form gateways and devices on the network
// speak: every PDU travels behind a 7-byte header instead of the RTU address
// and CRC,
//   transaction id (2)  protocol id, always 0 (2)  length (2)  unit id (1)  PDU
// where the length counts the unit id and the PDU. The unit id is the slave
// address of the device behind a gateway (0 or 255 for a device that sits on
// the network itself). TCP delivers the bytes in order and unchanged, so a
// reply is found by its header, not by a CRC, and is matched to its request by
// the transaction id as well as by its content: a reply that carries another
// transaction id (a late answer to an earlier request, or a gateway that
// mixes them up) is discarded and counted, never taken. The transaction id
// identifies the reply, not the unit id: many devices on the network answer
// with 0 or 255 whatever was asked, and such a reply is taken (and noted).
//
// The framing sits above the device interface: the device carries the bytes
// (link/TcpDevice for "mbtcp://HOST[:PORT]"), CModbusComm frames the
// request, and the exchange searches the reply with CMbapReplySearch.
#pragma once

#include <cstdint>

#include "link/ReplyMatch.h"

constexpr int kMbapHeader = 7;  // transaction id, protocol id, length, unit id
constexpr std::uint16_t kMbapPort = 502;

// Writes the frame of one PDU (function code and data, pduLength bytes, at
// most 253) to out; returns its length.
int BuildMbapFrame(std::uint8_t* out, std::uint16_t transaction, std::uint8_t unit,
                   const std::uint8_t* pdu, int pduLength);

// The transaction id of a frame.
inline std::uint16_t MbapTransaction(const std::uint8_t* frame) {
    return static_cast<std::uint16_t>(frame[0] << 8 | frame[1]);
}

// Looks for the reply to one request in the bytes received after it. Complete
// frames are judged once each, in order; bytes that cannot start a header (a
// protocol id other than 0, a length outside 2..254) are skipped one at a
// time, so the search finds its step again after noise.
class CMbapReplySearch {
public:
    // request: the MBAP frame that was sent.
    CMbapReplySearch(const std::uint8_t* request, int requestLength);

    // The reply or exception among buf[0..len), if complete: pos and length
    // give the whole MBAP frame.
    ReplyMatch Search(const std::uint8_t* buf, int len);
    // Complete frames with another transaction id, discarded so far.
    int Discarded() const { return m_nDiscarded; }
    // Bytes judged so far (whole frames and skipped noise): a frame still on
    // its way when the wait ends starts at this offset.
    int Scanned() const { return m_nScanned; }
    // The unit id the reply carried when it was not the one asked; -1 when it was.
    int OtherUnit() const { return m_nOtherUnit; }
    // The last complete frame with the request's transaction id that did not
    // answer it (another function, byte count or confirmation): offset and
    // length of the MBAP frame in the searched buffer; length 0 when none.
    int MismatchPos() const { return m_nMismatchPos; }
    int MismatchLength() const { return m_nMismatchLength; }

private:
    // The request in RTU form (unit id, PDU, no CRC needed) for AnswerOf.
    std::uint8_t m_rtu[260] = {};
    std::uint16_t m_nTransaction;
    int m_nScanned = 0;  // bytes before this are judged
    int m_nDiscarded = 0;
    int m_nOtherUnit = -1;
    int m_nMismatchPos = 0;
    int m_nMismatchLength = 0;
};

// Rewrites the MBAP frame of length bytes at buf + pos as the RTU frame of
// the same reply (unit id as address, PDU, CRC) at buf[0], so that one
// decoding serves both framings; returns the RTU frame's length.
int MbapToRtu(std::uint8_t* buf, int pos, int length);
