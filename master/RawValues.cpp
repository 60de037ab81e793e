// Raw access's values: registers into numbers and text in any byte order, and
// numbers from the command line into registers.
#include <cerrno>
#include <cinttypes>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>

#include "master/RawAccess.h"

namespace {

bool Reversed(ByteOrder order) {
    return order == ByteOrder::Cdab || order == ByteOrder::Dcba;
}

bool Swapped(ByteOrder order) {
    return order == ByteOrder::Badc || order == ByteOrder::Dcba;
}

std::uint16_t Swap(std::uint16_t word) {
    return static_cast<std::uint16_t>(word << 8 | word >> 8);
}

// The value of n registers (1, 2 or 4) as they lie in the order.
std::uint64_t Join(const std::uint16_t* regs, int n, ByteOrder order) {
    std::uint64_t value = 0;
    for (int k = 0; k < n; ++k) {
        const std::uint16_t word = regs[Reversed(order) ? n - 1 - k : k];
        value = value << 16 | (Swapped(order) ? Swap(word) : word);
    }
    return value;
}

// The n registers of a value in the order: Join's inverse.
void Split(std::uint64_t value, int n, ByteOrder order, std::vector<std::uint16_t>& registers) {
    std::uint16_t words[4] = {};
    for (int k = n - 1; k >= 0; --k, value >>= 16) {
        const auto word = static_cast<std::uint16_t>(value);
        words[Reversed(order) ? n - 1 - k : k] = Swapped(order) ? Swap(word) : word;
    }
    registers.insert(registers.end(), words, words + n);
}

// The shortest text that reads back as the same value (0.1, not
// 0.100000001), and one spelling of the non-finite ones on every platform.
template <typename Float>
std::string FloatText(Float f, int fewest, int most) {
    if (!std::isfinite(f)) {
        return std::isnan(f) ? "NaN" : (f > 0 ? "Inf" : "-Inf");
    }
    char text[40];
    for (int digits = fewest; digits <= most; ++digits) {
        std::snprintf(text, sizeof text, "%.*g", digits, static_cast<double>(f));
        if (static_cast<Float>(std::strtod(text, nullptr)) == f) {
            break;
        }
    }
    return text;
}

// The text and number of one value of the type from its bits.
void Shown(RawType type, std::uint64_t raw, SignalReading& r) {
    char text[32] = {};
    switch (type) {
        case RawType::S16:
            r.value = static_cast<std::int16_t>(raw);
            break;
        case RawType::S32:
            r.value = static_cast<std::int32_t>(raw);
            break;
        case RawType::S64:
            r.value = static_cast<double>(static_cast<std::int64_t>(raw));
            std::snprintf(text, sizeof text, "%" PRId64, static_cast<std::int64_t>(raw));
            r.text = text;
            return;
        case RawType::F32: {
            float f = 0;
            const auto bits = static_cast<std::uint32_t>(raw);
            std::memcpy(&f, &bits, sizeof f);
            r.value = f;
            r.text = FloatText(f, 6, 9);
            return;
        }
        case RawType::F64: {
            double d = 0;
            std::memcpy(&d, &raw, sizeof d);
            r.value = d;
            r.text = FloatText(d, 15, 17);
            return;
        }
        case RawType::Hex:
            r.value = static_cast<double>(raw);
            std::snprintf(text, sizeof text, "0x%04" PRIX64, raw);
            r.text = text;
            return;
        default:  // unsigned
            r.value = static_cast<double>(raw);
            std::snprintf(text, sizeof text, "%" PRIu64, raw);
            r.text = text;
            return;
    }
    std::snprintf(text, sizeof text, "%.0f", r.value);
    r.text = text;
}

// The characters of registers, two a register, high byte first (low first
// in badc and dcba); \xHH for a byte that does not print, \\ for \.
std::string AsciiText(const std::uint16_t* regs, int n, ByteOrder order) {
    std::string text;
    for (int k = 0; k < n; ++k) {
        const std::uint16_t word = Swapped(order) ? Swap(regs[k]) : regs[k];
        for (const auto c : {static_cast<unsigned char>(word >> 8),
                             static_cast<unsigned char>(word)}) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\x%02X", c);
            text += c == '\\' ? "\\\\" : (c >= 0x20 && c < 0x7F ? std::string(1, c) : escaped);
        }
    }
    return text;
}

}  // namespace

std::vector<SignalReading> DecodeRawReply(const RawRead& read, const std::uint8_t* frame) {
    std::vector<SignalReading> values = RawColumns(read);
    const std::uint8_t* data = frame + 3;
    if (IsBitTable(read.table)) {
        for (int i = 0; i < read.count; ++i) {
            SignalReading& r = values[static_cast<std::size_t>(i)];
            r.value = (data[i / 8] >> (i % 8)) & 1;
            r.text = r.value != 0 ? "1" : "0";
        }
        return values;
    }
    std::vector<std::uint16_t> regs(static_cast<std::size_t>(Quantity(read)));
    for (std::size_t k = 0; k < regs.size(); ++k) {
        regs[k] = static_cast<std::uint16_t>(data[2 * k] << 8 | data[2 * k + 1]);
    }
    if (read.type == RawType::Ascii) {
        values[0].text = AsciiText(regs.data(), read.count, read.order);
        return values;
    }
    const int step = RegistersOf(read.type);
    for (int i = 0; i < read.count; ++i) {
        SignalReading& r = values[static_cast<std::size_t>(i)];
        const std::uint16_t* mine = regs.data() + step * i;
        Shown(read.type, Join(mine, step, read.order), r);
        for (int k = 0; k < step; ++k) {
            char hex[8];
            std::snprintf(hex, sizeof hex, "0x%04X", static_cast<unsigned>(mine[k]));
            r.registers.push_back(hex);
        }
    }
    return values;
}

namespace {

// A floating-point value of the type's width into its bits; false when it is
// no number or not finite in that width.
bool FloatBits(const std::string& text, RawType type, std::uint64_t& raw) {
    char* end = nullptr;
    const double d = std::strtod(text.c_str(), &end);
    if (text.empty() || *end != '\0') {
        return false;
    }
    if (type == RawType::F64) {
        std::memcpy(&raw, &d, sizeof raw);
        return std::isfinite(d);
    }
    const float f = static_cast<float>(d);
    std::uint32_t bits = 0;
    std::memcpy(&bits, &f, sizeof bits);
    raw = bits;
    return std::isfinite(f);
}

// A whole number of 64 bits, decimal or 0x hex, digits only; false beyond.
bool ParseUnsigned64(const std::string& text, std::uint64_t& raw) {
    const bool hex = text.rfind("0x", 0) == 0 || text.rfind("0X", 0) == 0;
    const std::string digits = hex ? text.substr(2) : text;
    const char* allowed = hex ? "0123456789abcdefABCDEF" : "0123456789";
    if (digits.empty() || digits.find_first_not_of(allowed) != std::string::npos) {
        return false;
    }
    errno = 0;
    raw = std::strtoull(digits.c_str(), nullptr, hex ? 16 : 10);
    return errno == 0;
}

// An integer of the type into its bits; false with the range when it does not fit.
bool IntegerBits(const std::string& text, RawType type, std::uint64_t& raw, std::string& range) {
    if (type == RawType::U64) {
        range = "0..18446744073709551615";
        return ParseUnsigned64(text, raw);
    }
    const int bits = 16 * RegistersOf(type);
    const bool sign = type == RawType::S16 || type == RawType::S32 || type == RawType::S64;
    const long long lo = !sign ? 0
                         : bits == 64 ? std::numeric_limits<long long>::min()
                                      : -(1LL << (bits - 1));
    const long long hi = bits == 64 ? std::numeric_limits<long long>::max()
                                    : (sign ? (1LL << (bits - 1)) - 1 : (1LL << bits) - 1);
    range = std::to_string(lo) + ".." + std::to_string(hi);
    // Hex takes its digits with or without 0x (or 0X, as everywhere else).
    const bool prefixed = text.rfind("0x", 0) == 0 || text.rfind("0X", 0) == 0;
    long long v = 0;
    const bool ok = type == RawType::Hex ? ParseRawNumber(prefixed ? text : "0x" + text, v)
                                         : ParseRawNumber(text, v);
    raw = static_cast<std::uint64_t>(v) & (bits == 64 ? ~0ULL : (1ULL << bits) - 1);
    return ok && v >= lo && v <= hi;
}

}  // namespace

bool EncodeValue(const std::string& text, RawType type, ByteOrder order,
                 std::vector<std::uint16_t>& registers, std::string& why) {
    std::uint64_t raw = 0;
    if (type == RawType::Ascii) {
        why = "--type ascii is for reads only";
        return false;
    }
    if (type == RawType::F32 || type == RawType::F64) {
        if (!FloatBits(text, type, raw)) {
            why = text + " is not a finite " + (type == RawType::F32 ? "32" : "64") +
                  "-bit float";
            return false;
        }
    } else {
        std::string range;
        if (!IntegerBits(text, type, raw, range)) {
            why = text + " does not fit " + TypeName(type) + " (" + range + ")";
            return false;
        }
    }
    Split(raw, RegistersOf(type), order, registers);
    return true;
}
