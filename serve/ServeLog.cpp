#include "serve/ServeLog.h"

#include <chrono>
#include <cstdio>
#include <ctime>
#include <mutex>

std::string LogEscaped(std::string_view text) {
    static const char hex[] = "0123456789abcdef";
    std::string out;
    out.reserve(text.size());
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte >= 0x7f || c == '\\') {
            out += "\\x";
            out += hex[byte >> 4];
            out += hex[byte & 15];
        } else {
            out += c;
        }
    }
    return out;
}

void LogRefusal(const std::string& line) {
    constexpr int kLogLines = 20;
    constexpr auto kLogWindow = std::chrono::seconds(10);
    static std::mutex mutex;
    static std::chrono::steady_clock::time_point windowStart{};
    static int shown = 0;
    static unsigned long long skipped = 0;
    std::string text;
    {
        std::lock_guard<std::mutex> lock(mutex);
        const auto now = std::chrono::steady_clock::now();
        if (now - windowStart >= kLogWindow) {
            if (skipped != 0) {
                text = "k40ctl: " + std::to_string(skipped) + " more refusals not shown\n";
            }
            windowStart = now;
            shown = 0;
            skipped = 0;
        }
        if (shown < kLogLines) {
            ++shown;
            text += LogEscaped(line) + "\n";
        } else {
            ++skipped;
        }
    }
    if (!text.empty()) {
        std::fputs(text.c_str(), stderr);
    }
}

std::string AuditLine(const CommandAudit& audit, long long unixSeconds) {
    const std::time_t t = static_cast<std::time_t>(unixSeconds);
    std::tm utc{};
#ifdef _WIN32
    gmtime_s(&utc, &t);
#else
    gmtime_r(&t, &utc);
#endif
    char when[32];
    std::strftime(when, sizeof when, "%Y-%m-%dT%H:%M:%SZ", &utc);
    return "k40ctl: audit " + std::string(when) + " " + LogEscaped(audit.client) +
           " token=" + (audit.token ? "yes" : "no") + " command " +
           LogEscaped(audit.command.empty() ? "-" : audit.command) + ": " +
           LogEscaped(audit.outcome);
}

void LogAudit(const CommandAudit& audit) {
    const auto now = std::chrono::system_clock::now().time_since_epoch();
    const std::string line =
        AuditLine(audit, std::chrono::duration_cast<std::chrono::seconds>(now).count()) + "\n";
    std::fputs(line.c_str(), stderr);
}
