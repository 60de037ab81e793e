// Holds what the master reported for each exchange of a soak run against what
// the simulator's trace says it did with that request.
//
// The master sends one request at a time, so exchanges and trace records are
// paired by order and request bytes; a request that the simulator never saw
// whole pairs with no record and must end in a time-out.
//
// What each record allows, with a reply wait W shorter than the late delay:
//   reply, exception  (clean, or with noise ahead, or in pieces): that very frame,
//                     Reply or Exception with the code;
//   silent, corrupt, late, not seen: Timeout.
// Two things on a shared line can change that without the master being wrong,
// and each is accepted only when the trace shows its cause:
//   - a late reply holds the line, so the reply after it can come too late:
//     Timeout for a clean record when an earlier record within the late delay
//     plus W had the late fault;
//   - an exception frame names only the function, not the request: a late (or
//     otherwise unclaimed) busy exception of an earlier request with the same
//     function and code reads as this request's exception. The master cannot
//     tell them apart; such exchanges are counted, not failed.
// And one that the trace cannot show: on a machine busy with other work the
// simulator can be held off the processor past the wait before it answers.
// A Timeout for an answered record after the whole wait is counted as "not
// seen within the wait"; a few of those (kMaxUnseen) pass, more fail the run,
// as a master that misses replies it had in time would.
// The decoded values of every read reply are checked too: the status bits
// against the initial status and the system commands the simulator carried
// out so far, the analog values against the simulator's nominal values.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "link/Exchange.h"
#include "tests/soak/SimTrace.h"

struct SoakExchange {
    ExchangeVariant variant = ExchangeVariant::Read;
    Bytes request;  // the 8 bytes sent
    ExchangeOutcome outcome = ExchangeOutcome::Timeout;
    std::uint8_t code = 0;
    Bytes reply;        // the frame at the start of the receive buffer (Reply, Exception)
    int received = -1;  // bytes received in the exchange, as last echoed; -1 without echo
    double wallMs = 0;
};

// Answers not seen within the wait that a run may have: 0.2 % of its 10 000.
constexpr int kMaxUnseen = 20;

class CSoakJudge {
public:
    CSoakJudge(std::uint32_t waitMs, std::uint32_t lateMs, std::uint16_t initialStatus);

    void Judge(const std::vector<SoakExchange>& exchanges, const std::vector<TraceRecord>& trace);

    const std::vector<std::string>& Failures() const { return m_failures; }
    // "master outcome <- simulator outcome [faults]" -> count
    const std::map<std::string, int>& Breakdown() const { return m_breakdown; }
    std::string BreakdownText() const;
    int Count(ExchangeOutcome outcome) const;

private:
    enum class Expect { Reply, Exception, Timeout };

    void JudgeOne(std::size_t k, const SoakExchange& x, const TraceRecord* r, std::size_t ri,
                  const std::vector<TraceRecord>& trace);
    bool LineHeldByLateReply(const TraceRecord& r, std::size_t ri,
                             const std::vector<TraceRecord>& trace) const;
    // Claims the earlier exception that x took, if there is one.
    bool ClaimEarlierException(const SoakExchange& x, std::size_t ri,
                               const std::vector<TraceRecord>& trace);
    void CheckDecoded(std::size_t k, const SoakExchange& x);
    void Carry(const TraceRecord& r);
    void Fail(std::size_t k, const std::string& what);
    static std::string Name(const SoakExchange& x);

    std::uint32_t m_nWaitMs;
    std::uint32_t m_nLateMs;
    std::uint16_t m_wStatus;
    std::vector<bool> m_claimed;  // per record: its own exchange took its exception
    std::vector<std::string> m_failures;
    std::map<std::string, int> m_breakdown;
    int m_unseen = 0;  // answered, and yet a Timeout after the whole wait
    int m_outcomes[3] = {0, 0, 0};
};
