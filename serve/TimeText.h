// The times and durations `k40ctl serve` reads from people and programs:
// --history 24h, and ?since= of /api/v1/history.
#pragma once

#include <chrono>
#include <string>

// How much history to keep: a whole number and one unit, s, m, h or d, as in
// "3600s", "90m", "24h", "7d"; more than none and at most 30 days. Anything
// else (a sign, a space, an exponent, a fraction, no unit) is refused.
bool ParseKeepDuration(const std::string& text, std::chrono::seconds* out);

// An ISO 8601 time with its zone: "2026-12-08T10:00:00Z", with fractional
// seconds (to the ns), with an offset "+01:00", "-0530", as Iso8601Local
// writes it ("2026-12-07T17:44:55.123+01:00"). The years 1900 to 2199. A
// space stands for the '+' of an offset, which a query string not
// percent-encoded turns into one. Out-of-range fields and a missing zone are
// refused.
bool ParseIso8601(const std::string& text, std::chrono::system_clock::time_point* out);
