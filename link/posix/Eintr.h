// A system call interrupted by a signal before it did anything is simply made
// again. Never used for close(2): on Linux the descriptor is gone even when
// close reports EINTR, and a retry could close another thread's new one.
#pragma once

#include <cerrno>

template <typename F>
auto RetryOnEintr(F f) {
    for (;;) {
        auto r = f();
        if (!(r < 0 && errno == EINTR)) {
            return r;
        }
    }
}
