// The local time of a moment and the zone's offset from UTC then, one file a
// platform (localtime_r and tm_gmtoff on Linux; localtime_s and _mkgmtime on
// Windows, whose struct tm has no offset).
#pragma once

#include <ctime>

// Fills local with the local time of t; returns the offset in seconds east of UTC.
long LocalTimeAndOffset(std::time_t t, std::tm& local);
