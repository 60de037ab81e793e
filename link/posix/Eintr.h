// A system call interrupted by a signal before it did anything is simply made
// again. Never used for close(2): on Linux the descriptor is gone even when
// close reports EINTR, and a retry could close another thread's new one.
#pragma once

#include <poll.h>

#include <cerrno>
#include <cstdint>

#include "link/Deadline.h"
#include "link/posix/Tick.h"

template <typename F>
auto RetryOnEintr(F f) {
    for (;;) {
        auto r = f();
        if (!(r < 0 && errno == EINTR)) {
            return r;
        }
    }
}

// poll() on one descriptor for ms; after EINTR it waits again for the time
// still left, so a stream of signals cannot stretch the wait.
inline int PollFor(pollfd& p, std::uint32_t ms) {
    const CDeadline deadline(CSystemClock::Instance(), ms);
    return RetryOnEintr([&] { return ::poll(&p, 1, static_cast<int>(deadline.Remaining())); });
}
