// The one line on standard error that scan and census keep current while they
// walk the addresses, drawn only when standard error is a live terminal: in a
// log or a pipe it would be noise.
#pragma once

#include <cstdio>

#include "cli/Console.h"

class ProgressLine {
public:
    ProgressLine() : live_(IsLiveTerminal(2)) {}

    // Writes the line over the last one; format and args as printf takes them.
    template <typename... Args>
    void Show(const char* format, Args... args) const {
        if (live_) {
            std::fputc('\r', stderr);
            std::fprintf(stderr, format, args...);
            std::fflush(stderr);
        }
    }
    // Takes the line away, before a result or a message is written.
    void Clear() const {
        if (live_) {
            std::fputs("\r\x1b[K", stderr);
        }
    }

private:
    bool live_;
};
