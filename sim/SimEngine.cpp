#include "sim/SimEngine.h"

#include <algorithm>
#include <optional>
#include <utility>

namespace {

// The unit and the faults each get a stream of their own from the one seed,
// so that adding a fault does not change how the values drift.
constexpr std::uint64_t kFaultStream = 0x6B34305F66617574ull;

}  // namespace

const char* OutcomeName(SimOutcome outcome) {
    switch (outcome) {
        case SimOutcome::Reply:
            return "reply";
        case SimOutcome::Exception:
            return "exception";
        case SimOutcome::Silent:
            return "silent";
        case SimOutcome::Ignored:
            return "ignored";
        case SimOutcome::Garbled:
            return "garbled";
    }
    return "?";
}

CSimEngine::CSimEngine(const SimEngineConfig& config)
    : m_nSlaveAddr(config.slaveAddr),
      m_nReplyDelay(config.replyDelayMs),
      m_nLateDelay(config.replyDelayMs != 0 ? config.replyDelayMs : kDefaultLateMs),
      m_unit(config.slaveAddr, config.seed, config.drift),
      m_scenario(config.events),
      m_faults(config.faults, config.seed ^ kFaultStream) {
    m_bLateFault = m_faults.Has(FaultKind::Late);
    m_unit.SetStatusWord(config.status);
}

std::vector<SimEvent> CSimEngine::Feed(const std::uint8_t* data, std::size_t length, double nowMs) {
    m_scanner.Feed(data, length);
    std::vector<SimEvent> events;
    std::vector<std::uint8_t> frame;
    while (m_scanner.Next(frame)) {
        events.push_back(Process(std::move(frame), nowMs));
        frame.clear();
    }
    if (m_bEchoShort && !events.empty()) {
        // Shown with the request that the short copy belonged to.
        events.front().faults |= Bit(FaultKind::PartialEcho);
        m_bEchoShort = false;
    }
    return events;
}

SimEvent CSimEngine::Garbled(const std::uint8_t* data, std::size_t length, double nowMs,
                             const LineSettings& line) {
    m_scanner.Reset();
    SimEvent ev;
    ev.seq = ++m_nSeq;
    ev.tMs = nowMs;
    ev.request.assign(data, data + length);
    ev.outcome = SimOutcome::Garbled;
    ev.line = line;
    if (m_bEchoShort) {
        ev.faults = Bit(FaultKind::PartialEcho);
        m_bEchoShort = false;
    }
    return ev;
}

std::vector<std::uint8_t> CSimEngine::AdapterEcho(const std::uint8_t* data, std::size_t length) {
    std::vector<std::uint8_t> copy(data, data + length);
    if (!copy.empty() && m_faults.RollPartialEcho()) {
        copy.pop_back();
        m_bEchoShort = true;
    }
    return copy;
}

SimEvent CSimEngine::Process(std::vector<std::uint8_t> request, double nowMs) {
    SimEvent ev;
    ev.seq = ++m_nSeq;
    ev.tMs = nowMs;
    ev.request = std::move(request);
    m_scenario.Advance(nowMs, m_unit);
    if (ev.request[0] != m_nSlaveAddr) {
        return ev;  // Ignored; no fault is rolled for it
    }
    ev.faults = m_faults.Decide();
    if (ev.faults & Bit(FaultKind::Silent)) {
        ev.outcome = SimOutcome::Silent;
        return ev;
    }
    if (!Answer(ev)) {
        ev.faults = 0;
        return ev;
    }
    Mangle(ev);
    Pace(ev);
    return ev;
}

bool CSimEngine::Answer(SimEvent& ev) {
    if (ev.faults & Bit(FaultKind::Exception)) {
        // Busy: the request is not carried out.
        ev.outcome = SimOutcome::Exception;
        ev.exceptionCode = CFaultInjector::kBusyCode;
        ev.frame = CSimUnit::ExceptionFrame(m_nSlaveAddr, ev.request[1], ev.exceptionCode);
        return true;
    }
    const bool write = ev.request[1] == 0x05 || ev.request[1] == 0x06;
    const bool ignore = write && (ev.faults & Bit(FaultKind::Ignore)) != 0;
    std::optional<CSimUnit> before;
    if (ignore) {
        before = m_unit;
    }
    SimResponse r = m_unit.Handle(ev.request.data(), ev.request.size());
    if (before) {
        m_unit = *before;  // acknowledged, yet nothing changed
    } else {
        ev.faults &= ~Bit(FaultKind::Ignore);
    }
    if (r.answer == SimAnswer::Ignored) {
        return false;
    }
    ev.outcome = r.answer == SimAnswer::Reply ? SimOutcome::Reply : SimOutcome::Exception;
    ev.exceptionCode = r.exceptionCode;
    ev.frame = std::move(r.frame);
    return true;
}

void CSimEngine::Mangle(SimEvent& ev) {
    if (ev.faults & Bit(FaultKind::WrongSlave)) {
        ev.frame[0] = static_cast<std::uint8_t>(m_nSlaveAddr % 254 + 1);
        ev.frame.resize(ev.frame.size() - 2);
        CSimUnit::AppendCrc(ev.frame);
    }
    if (ev.faults & Bit(FaultKind::Corrupt)) {
        m_faults.Corrupt(ev.frame, m_nSlaveAddr);
    }
    if (ev.faults & Bit(FaultKind::Noise)) {
        ev.junk = m_faults.Junk(m_nSlaveAddr);
    }
}

void CSimEngine::Pace(SimEvent& ev) {
    std::vector<std::uint8_t> bytes = ev.junk;
    bytes.insert(bytes.end(), ev.frame.begin(), ev.frame.end());
    if (ev.faults & Bit(FaultKind::Split)) {
        ev.chunks = m_faults.Split(bytes);
    } else {
        ev.chunks.push_back(SimChunk{0, std::move(bytes)});
    }
    if (m_bLateFault) {
        ev.delayMs = (ev.faults & Bit(FaultKind::Late)) ? m_nLateDelay : 0;
    } else {
        ev.delayMs = m_nReplyDelay;
    }
}

bool NeedsFineTimers(const SimEngineConfig& config, std::uint32_t paceBaud) {
    return paceBaud != 0 || config.replyDelayMs != 0 ||
           std::any_of(config.faults.begin(), config.faults.end(),
                       [](const FaultSpec& f) { return f.kind == FaultKind::Split; });
}
