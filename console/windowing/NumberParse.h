// The number rules of the dialog data exchange, as pure functions on the bytes
// of an edit box: what an entry box must hold to be taken as a signed integer,
// an unsigned 32-bit integer or a float, and how a float is written back.
//
// Only the first kMaxNumberText bytes of the text are read. Blanks and tabs may
// surround the number; nothing else may. A value of zero is accepted only when
// the first non-blank character is the digit 0, so "+0", "-0" and ".0" are
// refused. No locale is consulted: the decimal point is always '.'.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

constexpr std::size_t kMaxNumberText = 31;

// Decimal integer with an optional sign; beyond the 32-bit range the value
// saturates to the nearest limit (and then fails any range check).
std::optional<std::int32_t> ParseIntText(const char* text);
std::optional<std::int32_t> ParseIntText(const std::string& text);

// Decimal integer with an optional plus sign; a minus sign is refused. Beyond
// the 32-bit range the value saturates to 4294967295.
std::optional<std::uint32_t> ParseDWordText(const char* text);
std::optional<std::uint32_t> ParseDWordText(const std::string& text);

// Optional sign, digits with an optional decimal point, optional exponent;
// read in double precision, then rounded to single precision (a value beyond
// the float range becomes an infinity and fails any range check).
std::optional<float> ParseFloatText(const char* text);
std::optional<float> ParseFloatText(const std::string& text);

// "%.*g" with six significant digits: 234.0f gives "234", 300.001f "300.001".
std::string FormatFloatText(float value);
