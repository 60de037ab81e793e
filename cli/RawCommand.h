// k40ctl read and write: one raw request to any device on the line, its
// values in the chosen format, and the exit status of its outcome.
#pragma once

#include <string>
#include <vector>

#include "cli/CtlOptions.h"
#include "master/ScanScope.h"
#include "master/UnitLink.h"

// Writes text to standard output and, unless the record is a reply, its
// outcome to standard error; false (with the reason on standard error) when
// standard output could not take it.
bool ReportRecord(const std::string& text, const ReadRecord& record, int waitMs);
// 0 reply, 3 no reply, 4 exception: the status of one exchange.
int ExitStatusOf(const ReadRecord& record);

// A raw read's values: table (address and value, aligned), CSV (address,value)
// or one JSON line (RawJsonLine).
std::string RawReadText(const CtlOptions& o, const ReadRecord& record);

// One raw read as a JSON line (and '\n'): time, outcome, response_ms,
// exception and diagnosis as every record has them, then table, type ("bit"
// for coils and discrete inputs), byte_order (registers only) and values
// [{address, value}]; hex values as "0x00FF", ascii as its text, 64-bit
// integers exact, a float that is no number as null with its "registers".
// read and watch read write the same.
std::string RawJsonLine(const RawRead& read, const ReadRecord& record);

// What a broadcast write says in the table format.
constexpr const char* kBroadcastSaid = "sent to all units (broadcast); no reply is expected";

// Runs read or write once on the open link; the exit status.
int RunRaw(const CtlOptions& o, UnitLink& link);
