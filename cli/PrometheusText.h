// The unit's last scan in the Prometheus text exposition format, for
// node_exporter's textfile collector: k40ctl rewrites the file after every scan
// and the monitoring system that already watches the fleet scrapes it.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "cli/AtomicFile.h"
#include "cli/ReadRecord.h"

// HELP and TYPE lines and the samples:
//   k40_analog_value{name="...",register="100",unit="V"}  a gauge per analog column
//   k40_status_bit{name="...",bit="0",legend="..."}       a gauge per status-bit column
//   k40_scans_failed_total, k40_scans_total                counters of this watch
// The gauges have no samples when the last scan got no reply, so that a
// stale value is never published as current.
std::string PrometheusText(const ReadRecord& last, const std::vector<SignalReading>& columns,
                           std::uint64_t failedScans, std::uint64_t scans);
