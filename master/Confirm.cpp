#include "master/Confirm.h"

#include "link/Deadline.h"

namespace {

// Pause between two read-backs while the unit has not updated its bits yet.
constexpr std::uint32_t kRetryPauseMs = 100;

}  // namespace

bool ConfirmSystemMode(UnitLink& link, SystemMode mode, int windowMs, std::string* why) {
    const bool modeBit = mode == SystemMode::Manual || mode == SystemMode::Automatic;
    const int bit = modeBit ? 0 : 1;
    const int wanted = mode == SystemMode::Manual || mode == SystemMode::FloatCharge ? 1 : 0;
    // On the link's clock, as the exchanges are.
    const CDeadline window(link.Clock(), static_cast<std::uint32_t>(windowMs < 0 ? 0 : windowMs));
    for (;;) {
        const ReadRecord record = link.Read(ReadCommand::Coils01);
        if (record.outcome != ReadOutcome::Reply) {
            *why = "the status read got " + OutcomeMessage(record, link.WaitMs());
        } else {
            for (const SignalReading& r : record.values) {
                if (!r.analog && r.reg == bit) {
                    const int value = r.value != 0 ? 1 : 0;
                    if (value == wanted) {
                        why->clear();  // an earlier read's words no longer hold
                        return true;
                    }
                    *why = r.name + " still reads " + std::to_string(value) + " (" + r.unit +
                           "), not " + std::to_string(wanted);
                }
            }
        }
        if (window.Remaining() <= kRetryPauseMs) {
            return false;
        }
        link.Clock().Sleep(kRetryPauseMs);
    }
}
