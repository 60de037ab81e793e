#include "console/windowing/NumberParse.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <string_view>

#include "base/CNumber.h"

namespace {

constexpr int kFloatDigits = 6;  // significant digits a float keeps (FLT_DIG)

bool IsBlank(char c) {
    return c == ' ' || c == '\t';
}
bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

// What the box gives: at most the first kMaxNumberText bytes, up to a NUL.
std::string_view Clip(const char* text) {
    if (text == nullptr) {
        return {};
    }
    std::size_t n = 0;
    while (n < kMaxNumberText && text[n] != '\0') {
        ++n;
    }
    return {text, n};
}

std::size_t SkipBlanks(std::string_view s, std::size_t i) {
    while (i < s.size() && IsBlank(s[i])) {
        ++i;
    }
    return i;
}

std::size_t SkipDigits(std::string_view s, std::size_t i) {
    while (i < s.size() && IsDigit(s[i])) {
        ++i;
    }
    return i;
}

// Only blanks and tabs may follow the number.
bool OnlyBlanksFrom(std::string_view s, std::size_t i) {
    return SkipBlanks(s, i) == s.size();
}

// The common part of both integer forms: the magnitude, capped just above the
// 32-bit range so it cannot overflow, and whether it was negative.
struct IntScan {
    bool ok = false;
    bool negative = false;
    std::uint64_t magnitude = 0;
};

IntScan ScanInteger(std::string_view s, bool allowMinus) {
    constexpr std::uint64_t kCap = std::uint64_t{1} << 33;
    IntScan r;
    std::size_t i = SkipBlanks(s, 0);
    const char first = i < s.size() ? s[i] : '\0';
    if (first == '-' && !allowMinus) {
        return r;
    }
    if (first == '+' || first == '-') {
        r.negative = first == '-';
        ++i;
    }
    const std::size_t digits = i;
    for (; i < s.size() && IsDigit(s[i]); ++i) {
        r.magnitude = std::min(kCap, r.magnitude * 10 + static_cast<std::uint64_t>(s[i] - '0'));
    }
    // No digits, something after the number, or a zero not written as "0...".
    if (i == digits || !OnlyBlanksFrom(s, i) || (r.magnitude == 0 && first != '0')) {
        return r;
    }
    r.ok = true;
    return r;
}

// Rounds to the nearest float; beyond the largest float (by more than half a
// unit in the last place) the result is an infinity, as IEEE rounding gives,
// without the undefined behaviour of an out-of-range conversion.
float NarrowToFloat(double d) {
    constexpr double kOverflow = 0x1.ffffffp+127;  // FLT_MAX plus half an ulp
    if (std::fabs(d) >= kOverflow) {
        constexpr float kInf = std::numeric_limits<float>::infinity();
        return d > 0 ? kInf : -kInf;
    }
    if (std::fabs(d) > static_cast<double>(std::numeric_limits<float>::max())) {
        return d > 0 ? std::numeric_limits<float>::max() : -std::numeric_limits<float>::max();
    }
    return static_cast<float>(d);
}

}  // namespace

std::optional<std::int32_t> ParseIntText(const char* text) {
    const IntScan r = ScanInteger(Clip(text), true);
    if (!r.ok) {
        return std::nullopt;
    }
    constexpr std::uint64_t kMaxPos = std::numeric_limits<std::int32_t>::max();
    if (r.negative) {
        if (r.magnitude > kMaxPos + 1) {
            return std::numeric_limits<std::int32_t>::min();
        }
        return static_cast<std::int32_t>(-static_cast<std::int64_t>(r.magnitude));
    }
    if (r.magnitude > kMaxPos) {
        return std::numeric_limits<std::int32_t>::max();
    }
    return static_cast<std::int32_t>(r.magnitude);
}

std::optional<std::int32_t> ParseIntText(const std::string& text) {
    return ParseIntText(text.c_str());
}

std::optional<std::uint32_t> ParseDWordText(const char* text) {
    const IntScan r = ScanInteger(Clip(text), false);
    if (!r.ok) {
        return std::nullopt;
    }
    constexpr std::uint64_t kMax = std::numeric_limits<std::uint32_t>::max();
    return static_cast<std::uint32_t>(std::min(r.magnitude, kMax));
}

std::optional<std::uint32_t> ParseDWordText(const std::string& text) {
    return ParseDWordText(text.c_str());
}

std::optional<float> ParseFloatText(const char* text) {
    const std::string_view s = Clip(text);
    const std::size_t start = SkipBlanks(s, 0);
    const char first = start < s.size() ? s[start] : '\0';
    std::size_t i = start;
    if (i < s.size() && (s[i] == '+' || s[i] == '-')) {
        ++i;
    }
    const std::size_t intStart = i;
    i = SkipDigits(s, i);
    std::size_t mantissaDigits = i - intStart;
    if (i < s.size() && s[i] == '.') {
        const std::size_t fracStart = ++i;
        i = SkipDigits(s, i);
        mantissaDigits += i - fracStart;
    }
    if (mantissaDigits == 0) {
        return std::nullopt;
    }
    if (i < s.size() && (s[i] == 'e' || s[i] == 'E')) {
        std::size_t e = i + 1;
        if (e < s.size() && (s[e] == '+' || s[e] == '-')) {
            ++e;
        }
        const std::size_t expEnd = SkipDigits(s, e);
        if (expEnd == e) {
            return std::nullopt;  // "1e" or "1e+": the 'e' would be left over
        }
        i = expEnd;
    }
    if (!OnlyBlanksFrom(s, i)) {
        return std::nullopt;
    }
    const double d = StrtodC(std::string(s.substr(start, i - start)));
    if (d == 0.0 && first != '0') {
        return std::nullopt;
    }
    return NarrowToFloat(d);
}

std::optional<float> ParseFloatText(const std::string& text) {
    return ParseFloatText(text.c_str());
}

std::string FormatFloatText(float value) {
    char buf[64];
    const auto r = std::to_chars(buf, buf + sizeof buf, static_cast<double>(value),
                                 std::chars_format::general, kFloatDigits);
    return std::string(buf, r.ptr);
}
