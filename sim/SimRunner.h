// The simulator's loop: waits on the line (or on a TCP listener for its next
// client), the stop signals and the device node's open and close events, hands
// received bytes to the engine and puts its replies on the line at their times.
//
// Timing. Without pacing the bytes of a reply go out as soon as they are due
// (after the reply delay, between split pieces after their gaps). With pacing
// at B baud (a pseudo-terminal or a TCP connection has no line speed of its
// own; a device server would put the reply on its line at that pace) the line
// is modelled: a request counts as complete one character time (10, 11 or 12
// bits, as the parity and stop bits make it) per byte after it was read, the unit answers after the 3.5-character silence
// that ends an RTU frame (1.75 ms above 19200 baud, as the Modbus serial line
// protocol fixes it), and each byte of the reply is handed over when its last
// bit would have left. Replies never overlap: one starts when the previous one
// has left. A TCP client that goes away takes its pending replies with it.
//
// The line's other side. With adapter echo every byte received goes straight
// back, at once, as an RS-485 adapter that listens to its own transmission
// returns it to the master. On a pseudo-terminal the unit hears only its own
// settings, which the master sets on its side of the terminal: bytes sent
// with another parity, or with pacing at another rate, are not understood and
// not answered. A pseudo-terminal carries bytes, not bits, so this is where
// a real UART's framing and parity errors are modelled. Stop bits alone never
// garble: a receiver checks only the first one, and a second is idle line.
#pragma once

#include <cstdint>
#include <deque>
#include <string>
#include <vector>

#include "sim/MbapSession.h"
#include "sim/RequestLog.h"
#include "sim/SimEngine.h"
#include "sim/SimPort.h"

// The runner and the loops count time in nanoseconds of the monotonic clock.
constexpr std::int64_t kNsPerMs = 1000000;

class CSimRunner {
public:
    // Blocks SIGINT, SIGTERM and SIGHUP and returns a signalfd that reports
    // them, or -1. Called first thing, so that a stop request is never lost.
    // Also ignores SIGPIPE: a client that has gone fails the write instead.
    // On Windows: Ctrl+C, Ctrl+Break and closing the console (0, or -1).
    static int BlockStopSignals();

    // Asks the system for timers to the millisecond or finer, for the life of
    // the program: Windows otherwise rounds every wait to its 15.6 ms tick.
    static void FineTimers();

    // line: the unit's settings; baud 0 for no pacing. adapterEcho: the line echoes the master.
    CSimRunner(CSimPort& port, CSimEngine& engine, CRequestLog& log, const LineSettings& line,
               int signalFd, bool adapterEcho = false);

    // Whether bytes sent with the master's settings reach a unit listening
    // with its own as noise. A unit's rate of 0 (not paced) takes any rate;
    // the master's rate 0 (one the terminal does not name) is taken as right.
    static bool Garbles(const LineSettings& master, const LineSettings& unit);

    // Modbus TCP: requests and replies in MBAP frames (k40sim --listen-mbtcp).
    void UseMbap(CMbapSession& session) { m_pMbap = &session; }
    // Serves the line until a stop signal (0) or a failure of the line (1).
    int Run();

private:
    struct Pending {
        std::int64_t dueNs;
        std::vector<std::uint8_t> bytes;
        std::size_t done = 0;
    };

    bool Receive();
    // Hands bytes read from the line to the engine and schedules its replies.
    void OnBytes(const std::uint8_t* buf, std::size_t n);
    bool Flush();
    void DropClient();
    void Schedule(const SimEvent& ev, std::int64_t readNs);
    static std::int64_t Now();
    static std::string WallClock();

    CSimPort& m_port;
    CSimEngine& m_engine;
    CRequestLog& m_log;
    int m_signalFd;
    LineSettings m_line;  // baud 0: no pacing
    bool m_bAdapterEcho;
    std::int64_t m_nCharNs = 0;     // one character on the line; 0 = no pacing
    std::int64_t m_nSilenceNs = 0;  // the end-of-frame silence before a reply
    std::int64_t m_nStartNs = 0;
    std::int64_t m_nLineFreeNs = 0;  // when the last scheduled byte has left
    bool m_bWaitWritable = false;
    std::deque<Pending> m_queue;
    CMbapSession* m_pMbap = nullptr;
};
