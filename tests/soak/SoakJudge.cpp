#include "tests/soak/SoakJudge.h"

#include <cstdio>

#include "sim/SimUnit.h"
#include "tables/SignalTables.h"
#include "unit/ReadDecode.h"

namespace {

// How many records back a late reply can still reach.
constexpr std::size_t kLookBack = 4;
// Room for the pieces of a split reply (at most three gaps of 8 ms) and the
// pieces of the reply behind it, plus scheduling on a loaded machine.
constexpr double kSplitAndJitterMs = 60.0;
constexpr int kStatusBits = 15;

std::string Hex(const Bytes& b) {
    std::string s;
    char two[4];
    for (std::uint8_t v : b) {
        std::snprintf(two, sizeof two, "%02X", v);
        s += two;
    }
    return s.empty() ? "-" : s;
}

std::string Text(double v, const char* format) {
    char text[32];
    std::snprintf(text, sizeof text, format, v);
    return text;
}

int Word(const Bytes& b, std::size_t at) {
    return b[at] << 8 | b[at + 1];
}

}  // namespace

CSoakJudge::CSoakJudge(std::uint32_t waitMs, std::uint32_t lateMs, std::uint16_t initialStatus)
    : m_nWaitMs(waitMs), m_nLateMs(lateMs), m_wStatus(initialStatus) {}

std::string CSoakJudge::Name(const SoakExchange& x) {
    switch (x.outcome) {
        case ExchangeOutcome::Reply:
            return "Reply";
        case ExchangeOutcome::Exception: {
            char code[8];
            std::snprintf(code, sizeof code, "%02X", x.code);
            return std::string("Exception ") + code;
        }
        case ExchangeOutcome::Timeout:
            return "Timeout";
    }
    return "?";
}

int CSoakJudge::Count(ExchangeOutcome outcome) const {
    return m_outcomes[static_cast<int>(outcome)];
}

std::string CSoakJudge::BreakdownText() const {
    std::string text;
    for (const auto& [key, n] : m_breakdown) {
        text += "  " + Text(n, "%6.0f") + "  " + key + "\n";
    }
    return text;
}

void CSoakJudge::Fail(std::size_t k, const std::string& what) {
    m_failures.push_back("exchange " + std::to_string(k) + ": " + what);
}

void CSoakJudge::Judge(const std::vector<SoakExchange>& exchanges,
                       const std::vector<TraceRecord>& trace) {
    m_claimed.assign(trace.size(), false);
    std::size_t next = 0;
    for (std::size_t k = 0; k < exchanges.size(); ++k) {
        const SoakExchange& x = exchanges[k];
        ++m_outcomes[static_cast<int>(x.outcome)];
        const bool seen = next < trace.size() && trace[next].request == x.request;
        JudgeOne(k, x, seen ? &trace[next] : nullptr, next, trace);
        if (seen) {
            Carry(trace[next]);
            ++next;
        }
    }
    if (next != trace.size()) {
        m_failures.push_back("the simulator traced " + std::to_string(trace.size() - next) +
                             " requests that no exchange sent, from seq " +
                             std::to_string(trace[next].seq));
    }
    if (m_unseen > kMaxUnseen) {
        m_failures.push_back(std::to_string(m_unseen) +
                             " answers not seen within the wait (a busy machine explains " +
                             std::to_string(kMaxUnseen) + " at most)");
    }
}

void CSoakJudge::JudgeOne(std::size_t k, const SoakExchange& x, const TraceRecord* r,
                          std::size_t ri, const std::vector<TraceRecord>& trace) {
    Expect expect = Expect::Timeout;
    std::string sim = "not seen";
    if (r != nullptr) {
        sim = r->outcome;
        for (std::size_t i = 0; i < r->faults.size(); ++i) {
            sim += (i == 0 ? " [" : ",") + r->faults[i];
        }
        sim += r->faults.empty() ? "" : "]";
        if (r->outcome == "ignored") {
            Fail(k, "the simulator ignored " + Hex(r->request));
        }
        const bool answered = r->outcome == "reply" || r->outcome == "exception";
        if (answered && !r->Has("corrupt") && !r->Has("late")) {
            expect = r->outcome == "reply" ? Expect::Reply : Expect::Exception;
        }
    }
    std::string note;
    const bool asExpected = (expect == Expect::Reply && x.outcome == ExchangeOutcome::Reply) ||
                            (expect == Expect::Exception &&
                             x.outcome == ExchangeOutcome::Exception && x.code == r->code) ||
                            (expect == Expect::Timeout && x.outcome == ExchangeOutcome::Timeout);
    if (asExpected && expect != Expect::Timeout) {
        // Bytes ahead of the frame that are not the simulator's noise: a late
        // reply of an earlier request that the search stepped over.
        const int ahead = x.received - static_cast<int>(x.reply.size() + r->junk.size());
        if (x.received >= 0 && ahead > 0) {
            note = x.variant == ExchangeVariant::ModuleCommand
                       ? "  (stepped over stale bytes ahead, without a purge)"
                       : "  (stepped over stale bytes ahead)";
        }
        if (x.reply != r->frame) {
            Fail(k, "took " + Hex(x.reply) + " for the reply " + Hex(r->frame));
        }
        if (expect == Expect::Reply) {
            CheckDecoded(k, x);
        } else {
            m_claimed[ri] = true;
        }
    } else if (!asExpected) {
        if (x.outcome == ExchangeOutcome::Exception && ClaimEarlierException(x, ri, trace)) {
            note = "  (an earlier request's exception: same function and code)";
        } else if (x.outcome == ExchangeOutcome::Timeout && r != nullptr &&
                   LineHeldByLateReply(*r, ri, trace)) {
            note = "  (the line was held by an earlier late reply)";
        } else if (x.outcome == ExchangeOutcome::Timeout && expect != Expect::Timeout &&
                   x.wallMs + 1.0 >= m_nWaitMs) {
            note = "  (not seen within the wait)";
            ++m_unseen;
        } else {
            Fail(k, Name(x) + " for " + Hex(x.request) + " but the simulator: " + sim + ", frame " +
                        (r != nullptr ? Hex(r->frame) : "-") + ", took " + Hex(x.reply));
        }
    }
    if (x.outcome == ExchangeOutcome::Timeout && x.wallMs + 1.0 < m_nWaitMs) {
        Fail(k, "timed out after " + Text(x.wallMs, "%.1f") + " ms, before the wait");
    }
    ++m_breakdown[Name(x) + " <- " + sim + note];
}

bool CSoakJudge::LineHeldByLateReply(const TraceRecord& r, std::size_t ri,
                                     const std::vector<TraceRecord>& trace) const {
    for (std::size_t j = ri; j > 0 && ri - j < kLookBack; --j) {
        const TraceRecord& e = trace[j - 1];
        if (e.Has("late") && r.tMs - e.tMs < m_nLateMs + kSplitAndJitterMs) {
            return true;
        }
    }
    return false;
}

bool CSoakJudge::ClaimEarlierException(const SoakExchange& x, std::size_t ri,
                                       const std::vector<TraceRecord>& trace) {
    for (std::size_t j = ri; j > 0 && ri - j < kLookBack; --j) {
        const TraceRecord& e = trace[j - 1];
        if (e.outcome == "exception" && !e.Has("corrupt") && !m_claimed[j - 1] &&
            e.request[1] == x.request[1] && e.code == x.code && e.frame == x.reply) {
            m_claimed[j - 1] = true;
            return true;
        }
    }
    return false;
}

void CSoakJudge::CheckDecoded(std::size_t k, const SoakExchange& x) {
    const int function = x.request[1];
    const int address = Word(x.request, 2);
    const int length = static_cast<int>(x.reply.size());
    if (function == 0x03 && address == CSimUnit::kAnalogBase) {
        const auto rows =
            DecodeReadReply(ReadCommand::Analog03, x.reply.data(), length, nAnalogSignals);
        if (rows.size() != CSimUnit::kAnalogCount) {
            Fail(k, "analog read decoded to " + std::to_string(rows.size()) + " rows");
            return;
        }
        for (int i = 0; i < CSimUnit::kAnalogCount; ++i) {
            const std::string want = Text(CSimUnit::NominalValue(i), "%5.1f");
            if (rows[i].index != i || rows[i].value != want) {
                Fail(k, "analog row " + std::to_string(i) + " shows '" + rows[i].value +
                            "', the unit has '" + want + "'");
            }
        }
        return;
    }
    if (function != 0x01 && !(function == 0x03 && address == 0)) {
        return;  // a write: its echo was compared whole
    }
    const ReadCommand command = function == 0x01 ? ReadCommand::Coils01 : ReadCommand::Register03;
    const auto rows = DecodeReadReply(command, x.reply.data(), length, nDigitalSignals);
    if (rows.size() != static_cast<std::size_t>(nDigitalSignals)) {
        Fail(k, "status read decoded to " + std::to_string(rows.size()) + " rows");
        return;
    }
    for (int bit = 0; bit < nDigitalSignals; ++bit) {
        const int want = bit < kStatusBits ? (m_wStatus >> bit & 1) : 0;
        if (rows[bit].value != std::to_string(want)) {
            Fail(k, "status bit " + std::to_string(bit) + " shows " + rows[bit].value +
                        ", commands so far give " + std::to_string(want));
        }
    }
}

void CSoakJudge::Carry(const TraceRecord& r) {
    // A system command that the simulator carried out (whatever became of its
    // reply on the way) sets or clears its status bit.
    if (r.outcome != "reply" || r.request.size() != 8 || r.request[1] != 0x05) {
        return;
    }
    const int coil = Word(r.request, 2);
    const int bit = coil == CSimUnit::kManualCoil ? 0 : coil == CSimUnit::kFloatCoil ? 1 : -1;
    if (bit < 0) {
        return;
    }
    if (Word(r.request, 4) == 0xFF00) {
        m_wStatus = static_cast<std::uint16_t>(m_wStatus | 1u << bit);
    } else {
        m_wStatus = static_cast<std::uint16_t>(m_wStatus & ~(1u << bit));
    }
}
