#include "master/LocalTime.h"

long LocalTimeAndOffset(std::time_t t, std::tm& local) {
    localtime_s(&local, &t);
    // The local fields read as if they were UTC, less the moment itself.
    std::tm copy = local;
    return static_cast<long>(_mkgmtime(&copy) - t);
}
