// The simulator's loop, the parts every platform shares: what received bytes
// become and when the replies are due. Waiting on the line, the clock and the
// stop signals are the platform's (sim/posix/SimLoop.cpp, sim/win32/).
#include "sim/SimRunner.h"

#include <algorithm>

CSimRunner::CSimRunner(CSimPort& port, CSimEngine& engine, CRequestLog& log,
                       const LineSettings& line, int signalFd, bool adapterEcho)
    : m_port(port),
      m_engine(engine),
      m_log(log),
      m_signalFd(signalFd),
      m_line(line),
      m_bAdapterEcho(adapterEcho) {
    if (line.baud != 0) {
        m_nCharNs = CharacterNs(line);
        m_nSilenceNs = line.baud > 19200 ? 1750000 : m_nCharNs * 7 / 2;
    }
}

bool CSimRunner::Garbles(const LineSettings& master, const LineSettings& unit) {
    if (master.parity != unit.parity) {
        return true;
    }
    return unit.baud != 0 && master.baud != 0 && master.baud != unit.baud;
}

void CSimRunner::OnBytes(const std::uint8_t* buf, std::size_t n) {
    const std::int64_t now = Now();
    const double ms = static_cast<double>(now - m_nStartNs) / kNsPerMs;
    if (m_bAdapterEcho) {
        // Ahead of any reply still to go: the adapter returns what it hears at once.
        m_queue.push_back(Pending{now, m_engine.AdapterEcho(buf, n)});
    }
    if (m_port.IsPty()) {
        const LineSettings master = m_port.ClientLine();
        if (Garbles(master, m_line)) {
            m_log.Record(m_engine.Garbled(buf, n, ms, master), WallClock());
            return;
        }
    }
    const std::vector<SimEvent> events =
        m_pMbap != nullptr ? m_pMbap->Feed(m_engine, buf, n, ms) : m_engine.Feed(buf, n, ms);
    for (const SimEvent& ev : events) {
        m_log.Record(ev, WallClock());
        Schedule(ev, now);
    }
}

void CSimRunner::Schedule(const SimEvent& ev, std::int64_t readNs) {
    if (ev.chunks.empty()) {
        return;
    }
    std::int64_t t = readNs;
    if (m_nCharNs != 0) {
        t += static_cast<std::int64_t>(ev.request.size()) * m_nCharNs + m_nSilenceNs;
    }
    t = std::max(t + static_cast<std::int64_t>(ev.delayMs) * kNsPerMs, m_nLineFreeNs);
    for (const SimChunk& chunk : ev.chunks) {
        t += static_cast<std::int64_t>(chunk.gapMs) * kNsPerMs;
        if (m_nCharNs == 0) {
            m_queue.push_back(Pending{t, chunk.bytes});
            continue;
        }
        for (std::uint8_t b : chunk.bytes) {
            t += m_nCharNs;  // handed over when its stop bit has left
            m_queue.push_back(Pending{t, {b}});
        }
    }
    m_nLineFreeNs = t;
}

void CSimRunner::DropClient() {
    m_port.DropClient();
    if (m_pMbap != nullptr) {
        m_pMbap->Reset();
    }
    m_queue.clear();
    m_bWaitWritable = false;
    m_nLineFreeNs = 0;
}
