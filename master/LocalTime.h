// The local time of a moment and the zone's offset from UTC then, one file a
// platform (localtime_r and tm_gmtoff on Linux; localtime_s and _mkgmtime on
// Windows, whose struct tm has no offset).
#pragma once

#include <chrono>
#include <ctime>
#include <string>

// Fills local with the local time of t; returns the offset in seconds east of UTC.
long LocalTimeAndOffset(std::time_t t, std::tm& local);

// The local time as ISO 8601 with milliseconds and the UTC offset:
// "2026-12-07T17:44:55.123+01:00".
std::string Iso8601Local(std::chrono::system_clock::time_point time);

// The local time of day, "14:03:12": the live view's times.
std::string ClockTime(std::chrono::system_clock::time_point time);
