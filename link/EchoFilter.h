// The part of the exchange that deals with a line that echoes the request
// (see link/EchoMode.h): it takes the copy of the request off the front of
// what arrived, and learns in auto from a read whether the line echoes
// (EchoState). The search for the
// reply then runs on the bytes after the copy; without a copy expected it
// runs as it always has, on all the bytes received.
#pragma once

#include <cstdint>

#include "link/Exchange.h"
#include "link/ReplyMatch.h"

class CEchoFilter {
public:
    // purged: the variant purged the input before sending, so the copy, when
    // one comes, is the first thing to arrive. request: the frame sent.
    // staleBytes: without a purge, the bytes that were already in the
    // receive buffer or the driver's queue when the request went out; the
    // copy cannot start among them. A late reply to an earlier identical 05/06
    // command is byte for byte the copy of this one: without this limit it
    // would be taken for the echo, and the real echo for the reply.
    CEchoFilter(CModbusComm& comm, std::uint8_t function, bool purged, const std::uint8_t* request,
                int staleBytes = 0);

    // Looks at the bytes received so far; m is the reply if one is there.
    // False when the exchange must end as a failure now.
    bool Search(ExchangeResult& result, ReplyMatch& m);
    // At the time-out: marks whatever arrived in place of an expected copy;
    // in auto, a read that got nothing at all after a purge shows that the
    // line does not echo.
    void Finish(ExchangeResult& result) const;

private:
    CModbusComm& m_comm;
    const std::uint8_t* m_request;
    bool m_bRead;
    bool m_bPurged;
    bool m_bExpected;
    bool m_bLearning;
    int m_nStale;
};
