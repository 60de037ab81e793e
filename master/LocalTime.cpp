#include "master/LocalTime.h"

#include <cstdint>
#include <cstdio>

std::string Iso8601Local(std::chrono::system_clock::time_point time) {
    using namespace std::chrono;
    // Whole seconds rounded down, so that times before 1970 keep 0..999 ms.
    const auto ms = duration_cast<milliseconds>(time.time_since_epoch()).count();
    std::int64_t seconds = ms / 1000;
    std::int64_t millis = ms % 1000;
    if (millis < 0) {
        millis += 1000;
        seconds -= 1;
    }
    const std::time_t t = static_cast<std::time_t>(seconds);
    std::tm local{};
    const long offset = LocalTimeAndOffset(t, local);  // seconds east of UTC
    char stamp[32];
    std::strftime(stamp, sizeof stamp, "%Y-%m-%dT%H:%M:%S", &local);
    const long absolute = offset < 0 ? -offset : offset;
    char tail[32];
    std::snprintf(tail, sizeof tail, ".%03d%c%02ld:%02ld", static_cast<int>(millis),
                  offset < 0 ? '-' : '+', absolute / 3600, absolute % 3600 / 60);
    return std::string(stamp) + tail;
}

std::string ClockTime(std::chrono::system_clock::time_point time) {
    return Iso8601Local(time).substr(11, 8);
}
