// Fuzz target: the entry-box number rules. Each parser must agree with a
// reference parse, written independently from the rules: the first 31 bytes,
// blanks and tabs around one number, the zero rule, saturation.
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <optional>
#include <regex>
#include <string>

#include "console/windowing/NumberParse.h"

namespace {

void Check(bool ok) {
    if (!ok) {
        std::abort();
    }
}

struct Core {
    std::string number;
    char first = '\0';
};

// The clipped text without its surrounding blanks and tabs.
Core Trim(const std::string& text) {
    std::string s = text.substr(0, text.find('\0')).substr(0, 31);
    const std::size_t b = s.find_first_not_of(" \t");
    if (b == std::string::npos) {
        return {};
    }
    const std::size_t e = s.find_last_not_of(" \t");
    return {s.substr(b, e - b + 1), s[b]};
}

std::optional<std::int32_t> RefInt(const std::string& text) {
    static const std::regex re("[+-]?[0-9]+");
    const Core c = Trim(text);
    if (!std::regex_match(c.number, re)) {
        return std::nullopt;
    }
    const long long v = std::strtoll(c.number.c_str(), nullptr, 10);  // saturates itself
    if (v == 0 && c.first != '0') {
        return std::nullopt;
    }
    if (v > std::numeric_limits<std::int32_t>::max()) {
        return std::numeric_limits<std::int32_t>::max();
    }
    if (v < std::numeric_limits<std::int32_t>::min()) {
        return std::numeric_limits<std::int32_t>::min();
    }
    return static_cast<std::int32_t>(v);
}

std::optional<std::uint32_t> RefDWord(const std::string& text) {
    static const std::regex re("\\+?[0-9]+");
    const Core c = Trim(text);
    if (!std::regex_match(c.number, re)) {
        return std::nullopt;
    }
    const unsigned long long v = std::strtoull(c.number.c_str(), nullptr, 10);
    if (v == 0 && c.first != '0') {
        return std::nullopt;
    }
    return v > 0xFFFFFFFFull ? 0xFFFFFFFFu : static_cast<std::uint32_t>(v);
}

std::optional<double> RefFloat(const std::string& text) {
    static const std::regex re("[+-]?([0-9]+\\.?[0-9]*|\\.[0-9]+)([eE][+-]?[0-9]+)?");
    const Core c = Trim(text);
    if (!std::regex_match(c.number, re)) {
        return std::nullopt;
    }
    const double d = std::strtod(c.number.c_str(), nullptr);  // the fuzzer runs in the C locale
    if (d == 0.0 && c.first != '0') {
        return std::nullopt;
    }
    return d;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size > 64) {
        return 0;
    }
    const std::string text(reinterpret_cast<const char*>(data), size);

    Check(ParseIntText(text) == RefInt(text));
    Check(ParseDWordText(text) == RefDWord(text));

    const std::optional<float> f = ParseFloatText(text);
    const std::optional<double> d = RefFloat(text);
    Check(f.has_value() == d.has_value());
    if (f && d) {
        if (std::fabs(*d) < 3.4e38) {
            Check(*f == static_cast<float>(*d));
        } else {
            Check(std::fabs(*f) >= 3.4e38f);  // beyond the float range: saturated or infinite
        }
        // Written back with six significant digits, exactly as "%.*g" would.
        char expect[64];
        std::snprintf(expect, sizeof expect, "%.*g", 6, static_cast<double>(*f));
        Check(FormatFloatText(*f) == expect);
    }
    return 0;
}
