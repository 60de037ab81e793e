#include "cli/CheckRange.h"

#include <cmath>
#include <cstdlib>

#include "unit/Alarms.h"

namespace {

// A whole decimal number as the guidelines write them ("-10", "2.5"); no
// exponent, no hex, no infinity.
bool RangeNumber(const std::string& text, double* value) {
    if (text.empty() || text.find_first_not_of("+-0123456789.") != std::string::npos) {
        return false;
    }
    char* end = nullptr;
    *value = std::strtod(text.c_str(), &end);
    return end == text.c_str() + text.size() && std::isfinite(*value);
}

}  // namespace

bool CheckRange::Alerts(double value) const {
    const bool within = (startInfinite || value >= start) && (endInfinite || value <= end);
    return inside ? within : !within;
}

bool ParseCheckRange(const std::string& text, CheckRange* range) {
    CheckRange r;
    r.text = text;
    std::string body = text;
    if (!body.empty() && body[0] == '@') {
        r.inside = true;
        body.erase(0, 1);
    }
    const std::size_t colon = body.find(':');
    if (colon == std::string::npos) {
        // "10": 0..10.
        if (!RangeNumber(body, &r.end)) {
            return false;
        }
    } else {
        const std::string start = body.substr(0, colon), end = body.substr(colon + 1);
        if (start == "~") {
            r.startInfinite = true;
        } else if (!RangeNumber(start, &r.start)) {
            return false;
        }
        if (end.empty()) {
            r.endInfinite = true;
        } else if (!RangeNumber(end, &r.end)) {
            return false;
        }
    }
    if (!r.startInfinite && !r.endInfinite && r.start > r.end) {
        return false;
    }
    *range = r;
    return true;
}

std::string ParseCheckThreshold(const std::string& text, CheckThreshold* threshold) {
    const std::size_t equals = text.find('=');
    if (equals == std::string::npos) {
        return text + " is not ID=RANGE (e.g. battery_voltage=200:245)";
    }
    const std::string id = text.substr(0, equals);
    CheckThreshold t;
    t.reg = MeasurementRegister(id);
    if (t.reg < 0) {
        std::string ids;
        for (int reg = 100; *MeasurementId(reg) != '\0'; ++reg) {
            ids += std::string(ids.empty() ? "" : ", ") + MeasurementId(reg);
        }
        return id + " is no measurement: one of " + ids;
    }
    if (!ParseCheckRange(text.substr(equals + 1), &t.range)) {
        return text.substr(equals + 1) +
               " is not a range: N (0..N), N: (N and above), ~:N (up to N), N:M, or @N:M "
               "(alert inside)";
    }
    *threshold = t;
    return {};
}
