// A fake serial line and clock for running the link and the exchange without a
// device: bytes are scheduled to arrive at given ticks, and waiting on the
// device advances the fake clock to the next arrival.
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <vector>

#include "link/Clock.h"
#include "link/SerialDevice.h"

using Bytes = std::vector<std::uint8_t>;

class FakeClock : public IClock {
public:
    explicit FakeClock(std::uint32_t start = 0) : m_nNow(start) {}
    std::uint32_t Tick() override {
        ++m_nTicks;
        return m_nNow;
    }
    void Sleep(std::uint32_t ms) override {
        ++m_nSleeps;
        m_nNow += ms;
    }
    std::uint32_t m_nNow;
    int m_nSleeps = 0;
    int m_nTicks = 0;
};

// The far side of one fake port and the driver's queues.
struct FakeLine {
    explicit FakeLine(FakeClock& clock) : m_clock(clock) {}

    // Bytes that reach the input queue delayMs after now.
    void Arrive(std::uint32_t delayMs, const Bytes& bytes) {
        m_arrivals.push_back({m_clock.m_nNow + delayMs, bytes});
    }
    // Moves every arrival that is due into the input queue.
    void Deliver() {
        for (auto it = m_arrivals.begin(); it != m_arrivals.end();) {
            if (static_cast<std::int32_t>(m_clock.m_nNow - it->first) >= 0) {
                m_input.insert(m_input.end(), it->second.begin(), it->second.end());
                it = m_arrivals.erase(it);
            } else {
                ++it;
            }
        }
    }
    // Ticks until the next arrival, or -1 when none is scheduled.
    long long NextArrival() const {
        long long best = -1;
        for (const auto& a : m_arrivals) {
            const std::uint32_t d = a.first - m_clock.m_nNow;
            if (best < 0 || d < best) {
                best = d;
            }
        }
        return best;
    }

    FakeClock& m_clock;
    std::deque<std::uint8_t> m_input;
    std::vector<std::pair<std::uint32_t, Bytes>> m_arrivals;
    Bytes m_written;
    std::function<void(const Bytes&)> m_onWrite;  // the peer answering a request
    int m_nDiscardIn = 0;
    int m_nDiscardOut = 0;
    int m_nReads = 0;
    int m_nWaits = 0;
    int m_nOpens = 0;
    LineSettings m_settings{0};  // what SetLine applied last; baud 0: never
    bool m_bOpen = false;
    bool m_bBusy = false;    // another program holds the port
    bool m_bHungUp = false;  // waiting reports an error
    bool m_bWriteFails = false;
    bool m_bWriteStuck = false;      // the driver takes no byte: its output buffer stays full
    bool m_bDrainStuck = false;      // bytes taken never leave: flow control stuck
    std::uint32_t m_nDrainMs = 0;    // else the output queue empties this long after a write
    std::uint32_t m_nDrainedAt = 0;  // tick at which the queue is empty
    std::size_t m_nOutQueue = 0;     // bytes taken and not yet sent
    int m_nWritableWaits = 0;
    bool m_bMbap = false;  // a Modbus TCP connection: the link frames in MBAP
};

class FakeDevice : public ISerialDevice {
public:
    explicit FakeDevice(FakeLine& line) : m_line(line) { m_line.m_bOpen = true; }
    ~FakeDevice() override { m_line.m_bOpen = false; }

    int SetLine(const LineSettings& line) override {
        m_line.m_settings = line;
        return line.baud != 0 ? 1 : 0;
    }
    void Discard(bool input, bool output) override {
        m_line.Deliver();
        if (input) {
            ++m_line.m_nDiscardIn;
            m_line.m_input.clear();
        }
        if (output) {
            ++m_line.m_nDiscardOut;
            m_line.m_nOutQueue = 0;
        }
    }
    long QueuedInput() override {
        m_line.Deliver();
        return static_cast<long>(m_line.m_input.size());
    }
    long Read(std::uint8_t* buffer, std::size_t size) override {
        ++m_line.m_nReads;
        m_line.Deliver();
        std::size_t n = 0;
        while (n < size && !m_line.m_input.empty()) {
            buffer[n++] = m_line.m_input.front();
            m_line.m_input.pop_front();
        }
        return static_cast<long>(n);
    }
    long WriteSome(const std::uint8_t* buffer, std::size_t length) override {
        if (m_line.m_bWriteFails) {
            return -1;
        }
        if (m_line.m_bWriteStuck) {
            return 0;
        }
        const Bytes frame(buffer, buffer + length);
        m_line.m_written.insert(m_line.m_written.end(), frame.begin(), frame.end());
        m_line.m_nOutQueue += length;
        m_line.m_nDrainedAt = m_line.m_clock.m_nNow + m_line.m_nDrainMs;
        if (m_line.m_onWrite) {
            m_line.m_onWrite(frame);
        }
        return static_cast<long>(length);
    }
    long QueuedOutput() override {
        if (!m_line.m_bDrainStuck &&
            static_cast<std::int32_t>(m_line.m_clock.m_nNow - m_line.m_nDrainedAt) >= 0) {
            m_line.m_nOutQueue = 0;
        }
        return static_cast<long>(m_line.m_nOutQueue);
    }
    WaitResult WaitWritable(std::uint32_t ms) override {
        ++m_line.m_nWritableWaits;
        if (m_line.m_bHungUp) {
            return WaitResult::Failed;
        }
        if (m_line.m_bWriteStuck) {
            m_line.m_clock.m_nNow += ms;
            return WaitResult::TimedOut;
        }
        return WaitResult::Readable;
    }
    WaitResult WaitReadable(std::uint32_t ms) override {
        ++m_line.m_nWaits;
        m_line.Deliver();
        if (!m_line.m_input.empty()) {
            return WaitResult::Readable;
        }
        if (m_line.m_bHungUp) {
            return WaitResult::Failed;
        }
        const long long next = m_line.NextArrival();
        if (next >= 0 && next <= ms) {
            m_line.m_clock.m_nNow += static_cast<std::uint32_t>(next);
            m_line.Deliver();
            return WaitResult::Readable;
        }
        m_line.m_clock.m_nNow += ms;
        return WaitResult::TimedOut;
    }

    bool SpeaksMbap() const override { return m_line.m_bMbap; }

private:
    FakeLine& m_line;
};

// Ports 0 and 1 (COM1, COM2) that exist when a line is attached.
class FakePorts : public ISerialPorts {
public:
    void Attach(int port, FakeLine& line) { m_lines[port] = &line; }
    std::unique_ptr<ISerialDevice> Open(int port, std::uint32_t /*waitMs*/) override {
        ++m_nOpenCalls;
        auto it = m_lines.find(port);
        if (it == m_lines.end() || it->second->m_bBusy || it->second->m_bOpen) {
            return nullptr;
        }
        ++it->second->m_nOpens;
        it->second->m_input.clear();
        return std::make_unique<FakeDevice>(*it->second);
    }
    int m_nOpenCalls = 0;

private:
    std::map<int, FakeLine*> m_lines;
};
