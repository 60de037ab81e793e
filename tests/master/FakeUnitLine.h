// k40ctl's link to the unit on a fake line and clock: a peer stands in for the
// devices on the line and answers each request it hears, so the master's
// exchanges run in-process and its waits cost no time.
#pragma once

#include <cstdint>
#include <functional>
#include <stdexcept>
#include <string>

#include "master/UnitLink.h"
#include "tests/support/FakeSerial.h"
#include "tests/support/TestFrames.h"

// A reply frame from a slave: its address and PDU, with the CRC added.
inline Bytes From(int slave, Bytes pdu) {
    pdu.insert(pdu.begin(), static_cast<std::uint8_t>(slave));
    return WithCrc(pdu);
}

// What comes back for a request: the frame after delayMs, or nothing.
struct Answer {
    Bytes frame;  // empty: silence
    std::uint32_t delayMs = 20;
};

struct FakeUnitLine {
    static constexpr int kWaitMs = 200;

    FakeClock clock{1000};
    FakeLine line{clock};
    FakePorts ports;
    UnitLink link{ports, clock, "fake", LineSettings{}, 1, kWaitMs, nullptr};
    // The devices on the line: what they send for each request (as on the
    // wire, CRC included). Unset: a silent line.
    std::function<Answer(const Bytes& request)> peer;
    bool echoes = false;  // the adapter returns every request at once
    int requests = 0;

    explicit FakeUnitLine(EchoMode mode = EchoMode::Off) {
        ports.Attach(0, line);
        link.SetEchoMode(mode);
        line.m_onWrite = [this](const Bytes& request) {
            ++requests;
            if (echoes) {
                line.Arrive(0, request);
            }
            const Answer a = peer ? peer(request) : Answer{};
            if (!a.frame.empty()) {
                line.Arrive(a.delayMs, a.frame);
            }
        };
        std::string why;
        if (!link.Open(&why)) {
            throw std::runtime_error(why);
        }
    }
};
