#include "master/Confirm.h"

#include <chrono>
#include <thread>

namespace {

// Pause between two read-backs while the unit has not updated its bits yet.
constexpr auto kRetryPause = std::chrono::milliseconds(100);

}  // namespace

bool ConfirmSystemMode(UnitLink& link, SystemMode mode, int windowMs, std::string* why) {
    const bool modeBit = mode == SystemMode::Manual || mode == SystemMode::Automatic;
    const int bit = modeBit ? 0 : 1;
    const int wanted = mode == SystemMode::Manual || mode == SystemMode::FloatCharge ? 1 : 0;
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(windowMs);
    for (;;) {
        const ReadRecord record = link.Read(ReadCommand::Coils01);
        if (record.outcome != ReadOutcome::Reply) {
            *why = "the status read got " + OutcomeMessage(record, link.WaitMs());
        } else {
            for (const SignalReading& r : record.values) {
                if (!r.analog && r.reg == bit) {
                    const int value = r.value != 0 ? 1 : 0;
                    if (value == wanted) {
                        return true;
                    }
                    *why = r.name + " still reads " + std::to_string(value) + " (" + r.unit +
                           "), not " + std::to_string(wanted);
                }
            }
        }
        if (std::chrono::steady_clock::now() + kRetryPause >= end) {
            return false;
        }
        std::this_thread::sleep_for(kRetryPause);
    }
}
