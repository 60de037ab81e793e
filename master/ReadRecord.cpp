#include "master/ReadRecord.h"

#include <cstdio>

#include "unit/ExceptionText.h"

const char* OutcomeWord(ReadOutcome outcome) {
    switch (outcome) {
        case ReadOutcome::Reply:
            return "reply";
        case ReadOutcome::Exception:
            return "exception";
        case ReadOutcome::Timeout:
            break;
    }
    return "timeout";
}

std::string ExceptionText(const ReadRecord& record) {
    char code[8];
    std::snprintf(code, sizeof code, "%02X", static_cast<unsigned>(record.exceptionCode));
    return std::string(code) + " " + ExceptionNameEnglish(record.exceptionCode) + " (" +
           record.exceptionName + ")";
}
