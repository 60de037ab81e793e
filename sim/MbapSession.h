// The simulator as a Modbus TCP device (k40sim --listen-mbtcp): the unit on
// the far side of a gateway that speaks MBAP. Requests arrive as MBAP frames
// (link/MbapFraming.h) and are handed to the engine as the RTU frames they
// stand for (unit id as address, PDU, CRC), so the unit, its faults and its
// log stay those of the serial line; each reply goes back behind the header
// of its request, with the same transaction id. Noise ahead of a reply has no
// place on a TCP connection and is left out; split replies keep their gaps;
// a reply with a bad CRC is dropped, as a gateway drops it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "sim/SimEngine.h"

class CMbapSession {
public:
    // Takes received bytes; the events of every request completed by them,
    // their chunks carrying the MBAP reply.
    std::vector<SimEvent> Feed(CSimEngine& engine, const std::uint8_t* data, std::size_t length,
                               double nowMs);
    // The client went away: a new one starts on a clean stream.
    void Reset() { m_buf.clear(); }

private:
    std::vector<std::uint8_t> m_buf;
};
