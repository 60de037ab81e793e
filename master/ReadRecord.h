// One read of the unit as k40ctl reports it: when it was made, how the
// exchange ended, and on a reply the named values. Every output format (table,
// CSV, JSON Lines, the live view, the Prometheus text) is made from these.
#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "unit/SignalReading.h"

enum class ReadOutcome { Reply, Timeout, Exception };

struct ReadRecord {
    std::chrono::system_clock::time_point time;
    ReadOutcome outcome = ReadOutcome::Timeout;
    std::uint8_t exceptionCode = 0;     // with ReadOutcome::Exception
    std::string exceptionName;          // with ReadOutcome::Exception, UTF-8
    std::vector<SignalReading> values;  // empty unless the read got a reply; a scan of
                                        // "all" holds the analog values, then the bits
    // On a failure: what the line showed (a LineDiagnosis name, "echo-only")
    // and the sentence that explains it; empty on a reply.
    std::string finding;
    std::string diagnosis;
    // From the request going out to the answer being complete, in ms, summed
    // over the exchanges of a scan of several reads; none without an answer.
    std::optional<double> responseMs;
    // On a failure: the finding's facts, for words in other languages
    // (DiagnosisFacts); empty when it has none.
    std::string facts = {};
};

// "reply", "timeout" or "exception": the outcome word of the CSV and JSON records.
const char* OutcomeWord(ReadOutcome outcome);

// "02 illegal data address (非法数据地址)": the exception code in hex, its
// English name and the Chinese one k40tool shows (scripts may match either).
std::string ExceptionText(const ReadRecord& record);
