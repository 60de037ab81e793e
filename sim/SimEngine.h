// Everything the simulator does between the bytes it receives and the bytes it
// sends, without any input or output: the frame search, the unit, the faults
// and the reply delay. The runner feeds it what the line delivered and puts the
// pieces of each event on the line at their times.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "link/LineSettings.h"
#include "sim/FaultInjector.h"
#include "sim/FrameScanner.h"
#include "sim/SimScenario.h"
#include "sim/SimUnit.h"

struct SimEngineConfig {
    int slaveAddr = 1;
    std::uint64_t seed = 1;
    bool drift = true;
    std::uint16_t status = CSimUnit::kInitialStatus;
    std::vector<FaultSpec> faults;
    // Delay of every reply, or with the late fault of the late replies only.
    std::uint32_t replyDelayMs = 0;
    // Status bits that come and go at set times (--event).
    std::vector<ScenarioEvent> events;
};

// True when the replies keep times finer than a default system timer tick:
// a paced line (paceBaud not 0), a reply delay, or replies split in two.
bool NeedsFineTimers(const SimEngineConfig& config, std::uint32_t paceBaud);

// What the unit did with one request.
enum class SimOutcome {
    Reply,      // answered normally
    Exception,  // answered with an exception (its own, or 06 from the busy fault)
    Silent,     // the silent fault: not executed, not answered
    Ignored,    // for another address or broadcast: not answered
    Garbled,    // sent at another baud rate than the unit's: not understood
};
const char* OutcomeName(SimOutcome outcome);

struct SimEvent {
    std::uint64_t seq = 0;  // requests counted from 1, ignored ones included
    double tMs = 0;         // when the request was complete, ms after the start
    std::vector<std::uint8_t> request;
    SimOutcome outcome = SimOutcome::Ignored;
    std::uint8_t exceptionCode = 0;
    FaultSet faults = 0;
    std::vector<std::uint8_t> frame;  // the reply as sent (corrupted if so); empty if none
    std::vector<std::uint8_t> junk;   // noise sent ahead of it
    std::uint32_t delayMs = 0;        // wait before the first piece
    std::vector<SimChunk> chunks;     // junk and frame as they go out; empty if nothing
    LineSettings line;                // Garbled: the settings the master sends with
};

class CSimEngine {
public:
    // Late replies wait this long when no reply delay is given.
    static constexpr std::uint32_t kDefaultLateMs = 2000;

    explicit CSimEngine(const SimEngineConfig& config);

    // Takes received bytes; returns one event for every request completed by them.
    std::vector<SimEvent> Feed(const std::uint8_t* data, std::size_t length, double nowMs);
    // Bytes the master sent with other line settings than the unit's (another
    // rate or parity): to the unit they are noise. They are logged as one
    // garbled request, and any frame begun before is forgotten.
    SimEvent Garbled(const std::uint8_t* data, std::size_t length, double nowMs,
                     const LineSettings& line);
    // What an adapter that echoes puts back on the master's side for these
    // received bytes: all of them, or with the partial-echo fault all but the last.
    std::vector<std::uint8_t> AdapterEcho(const std::uint8_t* data, std::size_t length);

    CSimUnit& Unit() { return m_unit; }
    const CFrameScanner& Scanner() const { return m_scanner; }

private:
    SimEvent Process(std::vector<std::uint8_t> request, double nowMs);
    // The reply to a request for this unit: the busy exception, or what the
    // unit answers (a write the ignore fault is on is acknowledged and undone).
    // False when the unit leaves it unanswered (too short, a bad CRC, malformed).
    bool Answer(SimEvent& ev);
    // The faults that spoil the reply: another slave's address, a bad byte, noise ahead.
    void Mangle(SimEvent& ev);
    // The pieces the reply goes out in and the wait before the first.
    void Pace(SimEvent& ev);

    int m_nSlaveAddr;
    std::uint32_t m_nReplyDelay;
    std::uint32_t m_nLateDelay;
    bool m_bLateFault;
    bool m_bEchoShort = false;  // the last echo was short: noted on the next event
    std::uint64_t m_nSeq = 0;
    CFrameScanner m_scanner;
    CSimUnit m_unit;
    CSimScenario m_scenario;
    CFaultInjector m_faults;
};
