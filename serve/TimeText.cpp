#include "serve/TimeText.h"

#include <cstdint>

namespace {

constexpr std::int64_t kMostKeepSeconds = 30 * 86400;

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

// Reads exactly `count` digits at *at; false when they are not all there.
bool Digits(const std::string& text, std::size_t* at, int count, int* value) {
    int v = 0;
    for (int i = 0; i < count; ++i, ++*at) {
        if (*at >= text.size() || !IsDigit(text[*at])) {
            return false;
        }
        v = v * 10 + (text[*at] - '0');
    }
    *value = v;
    return true;
}

bool Expect(const std::string& text, std::size_t* at, char c) {
    if (*at < text.size() && text[*at] == c) {
        ++*at;
        return true;
    }
    return false;
}

bool IsLeap(int year) {
    return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

int DaysInMonth(int year, int month) {
    static const int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return month == 2 && IsLeap(year) ? 29 : kDays[month - 1];
}

// Days from 1970-01-01 to the date of the proleptic Gregorian calendar.
std::int64_t DaysFromCivil(int year, int month, int day) {
    const int y = year - (month <= 2 ? 1 : 0);
    const int era = y / 400;  // the years accepted are positive
    const int yearOfEra = y - era * 400;
    const int dayOfYear = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
    const int dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
    return static_cast<std::int64_t>(era) * 146097 + dayOfEra - 719468;
}

// The zone after the time: 'Z', or a sign and hours and minutes, with or
// without the colon; in seconds east of UTC.
bool Zone(const std::string& text, std::size_t* at, int* offset) {
    if (Expect(text, at, 'Z') || Expect(text, at, 'z')) {
        *offset = 0;
        return *at == text.size();
    }
    if (*at >= text.size()) {
        return false;
    }
    const char sign = text[(*at)++];
    if (sign != '+' && sign != '-' && sign != ' ') {
        return false;
    }
    int hours = 0, minutes = 0;
    if (!Digits(text, at, 2, &hours)) {
        return false;
    }
    Expect(text, at, ':');
    if (!Digits(text, at, 2, &minutes) || *at != text.size() || hours > 23 || minutes > 59) {
        return false;
    }
    *offset = (sign == '-' ? -1 : 1) * (hours * 3600 + minutes * 60);
    return true;
}

}  // namespace

bool ParseKeepDuration(const std::string& text, std::chrono::seconds* out) {
    if (text.size() < 2 || text.size() > 10) {
        return false;
    }
    std::int64_t count = 0;
    for (std::size_t i = 0; i + 1 < text.size(); ++i) {
        if (!IsDigit(text[i])) {
            return false;
        }
        count = count * 10 + (text[i] - '0');
    }
    std::int64_t unit = 0;
    switch (text.back()) {
        case 's':
            unit = 1;
            break;
        case 'm':
            unit = 60;
            break;
        case 'h':
            unit = 3600;
            break;
        case 'd':
            unit = 86400;
            break;
        default:
            return false;
    }
    const std::int64_t seconds = count * unit;  // at most 9 digits times a day: no overflow
    if (seconds <= 0 || seconds > kMostKeepSeconds) {
        return false;
    }
    *out = std::chrono::seconds(seconds);
    return true;
}

bool ParseIso8601(const std::string& text, std::chrono::system_clock::time_point* out) {
    std::size_t at = 0;
    int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
    if (!Digits(text, &at, 4, &year) || !Expect(text, &at, '-') || !Digits(text, &at, 2, &month) ||
        !Expect(text, &at, '-') || !Digits(text, &at, 2, &day) ||
        !(Expect(text, &at, 'T') || Expect(text, &at, 't')) || !Digits(text, &at, 2, &hour) ||
        !Expect(text, &at, ':') || !Digits(text, &at, 2, &minute) || !Expect(text, &at, ':') ||
        !Digits(text, &at, 2, &second)) {
        return false;
    }
    std::int64_t nanos = 0;
    if (Expect(text, &at, '.') || Expect(text, &at, ',')) {
        int digits = 0;
        for (; at < text.size() && IsDigit(text[at]); ++at, ++digits) {
            if (digits < 9) {
                nanos = nanos * 10 + (text[at] - '0');
            }
        }
        if (digits == 0) {
            return false;
        }
        for (; digits < 9; ++digits) {
            nanos *= 10;
        }
    }
    int offset = 0;
    if (!Zone(text, &at, &offset) || year < 1900 || year > 2199 || month < 1 || month > 12 ||
        day < 1 || day > DaysInMonth(year, month) || hour > 23 || minute > 59 || second > 59) {
        return false;
    }
    const std::int64_t seconds =
        DaysFromCivil(year, month, day) * 86400 + hour * 3600 + minute * 60 + second - offset;
    using namespace std::chrono;
    *out = system_clock::time_point(
        duration_cast<system_clock::duration>(std::chrono::seconds(seconds) + nanoseconds(nanos)));
    return true;
}
