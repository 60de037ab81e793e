// What one scan of the unit reads, and how a run of scans went so far. The
// poller makes the scans; the live view, the record files, the exporter and
// the server each show them in their own way.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "master/RawAccess.h"
#include "master/ReadRecord.h"
#include "unit/SignalReading.h"

class UnitLink;

// The reads of one scan: the analog values (03 on 100..108), the status bits
// (01 on 0..14), both, or a raw read of any device (watch read).
enum class ScanScope { Analog, Bits, All, Raw };

struct ScanStatus {
    std::uint64_t scans = 0, failures = 0;  // both count the scans missed while the port was lost
    std::string lastOutcome;                // "reply", "no reply within 1500 ms", ...
    std::string counters;                   // free text the loop may add (response times etc.)
    std::uint64_t missed = 0;               // scans that fell due while the port was lost
};

// The signals of a scan, in the order of its records: the analog values, the
// status bits, both, or the values of the raw read.
std::vector<SignalReading> ScanColumns(ScanScope scope, const RawRead& raw = {});

// One scan of the scope's reads: `all` is 03 on 100..108, then 01 on 0..14.
ReadRecord ScanOf(UnitLink& link, ScanScope scope, const RawRead& raw);

// The raw read as one record, its values decoded by the read's type.
ReadRecord RawScan(UnitLink& link, const RawRead& read);
