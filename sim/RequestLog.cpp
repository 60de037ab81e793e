#include "sim/RequestLog.h"

#include <cinttypes>

namespace {

std::string OrDash(const std::string& s) {
    return s.empty() ? "-" : s;
}

}  // namespace

CRequestLog::CRequestLog(std::FILE* log, std::FILE* trace) : m_pLog(log), m_pTrace(trace) {
    if (m_pTrace != nullptr) {
        std::fputs(TraceHeader(), m_pTrace);
        std::fflush(m_pTrace);
    }
}

const char* CRequestLog::TraceHeader() {
    return "# k40sim trace 1: SEQ T_MS REQUEST OUTCOME CODE FAULTS FRAME JUNK DELAY_MS\n";
}

std::string CRequestLog::Hex(const std::vector<std::uint8_t>& bytes, bool spaced) {
    static const char kDigits[] = "0123456789ABCDEF";
    std::string text;
    text.reserve(bytes.size() * 3);
    for (std::uint8_t b : bytes) {
        if (spaced && !text.empty()) {
            text += ' ';
        }
        text += kDigits[b >> 4];
        text += kDigits[b & 0x0F];
    }
    return text;
}

std::string CRequestLog::TraceLine(const SimEvent& ev) {
    char head[64];
    std::snprintf(head, sizeof head, "%" PRIu64 " %.3f ", ev.seq, ev.tMs);
    char code[4] = "-";
    if (ev.outcome == SimOutcome::Exception) {
        std::snprintf(code, sizeof code, "%02X", ev.exceptionCode);
    }
    return head + Hex(ev.request, false) + ' ' + OutcomeName(ev.outcome) + ' ' + code + ' ' +
           FaultSetText(ev.faults) + ' ' + OrDash(Hex(ev.frame, false)) + ' ' +
           OrDash(Hex(ev.junk, false)) + ' ' + std::to_string(ev.delayMs) + '\n';
}

std::string CRequestLog::LogLine(const SimEvent& ev, const std::string& clock) {
    std::string line = clock + "  " + Hex(ev.request, true) + "  ->  ";
    switch (ev.outcome) {
        case SimOutcome::Ignored:
            line += "(not for us)";
            break;
        case SimOutcome::Silent:
            line += "(no reply)";
            break;
        case SimOutcome::Garbled:
            line += "(garbled: sent at " + LineName(ev.line) + ")";
            break;
        case SimOutcome::Reply:
        case SimOutcome::Exception:
            if (!ev.junk.empty()) {
                line += "<" + Hex(ev.junk, true) + "> ";
            }
            line += Hex(ev.frame, true);
            if (ev.outcome == SimOutcome::Exception) {
                char code[24];
                std::snprintf(code, sizeof code, "  (exception %02X)", ev.exceptionCode);
                line += code;
            }
            break;
    }
    if (ev.faults != 0) {
        line += "  [" + FaultSetText(ev.faults);
        if (ev.delayMs != 0) {
            line += " " + std::to_string(ev.delayMs) + " ms";
        }
        line += "]";
    } else if (ev.delayMs != 0) {
        line += "  [after " + std::to_string(ev.delayMs) + " ms]";
    }
    return line + '\n';
}

void CRequestLog::Record(const SimEvent& ev, const std::string& clock) {
    if (m_pLog != nullptr) {
        std::fputs(LogLine(ev, clock).c_str(), m_pLog);
        std::fflush(m_pLog);
    }
    if (m_pTrace != nullptr) {
        std::fputs(TraceLine(ev).c_str(), m_pTrace);
        std::fflush(m_pTrace);
    }
}
