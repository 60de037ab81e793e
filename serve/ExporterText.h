// The answer to GET /metrics of `k40ctl serve`, in the Prometheus text
// exposition format 0.0.4: the families of the textfile `watch --prometheus`
// writes, made by the same code, and what a long-running exporter adds.
#pragma once

#include <string>

#include "serve/ServeSnapshot.h"

// Each family with HELP and TYPE; port="...",slave="N" on every sample but
// the build's:
//   k40_up, k40_analog_value, k40_status_bit, k40_alarm,
//   k40_alarms_active, k40_scans_failed_total,
//   k40_scans_total               as the textfile has them: no measurement
//                                 unless the last scan got a reply and the
//                                 port is open, k40_up 0 then
//   k40_last_scan_timestamp_seconds  the last scan that got a reply, Unix
//                                 seconds; no sample before the first
//   k40_scan_interval_seconds     --interval, the time between two scans
//   k40_response_seconds          histogram of the answers' response times
//   k40_link_failures_total{kind} every failure kind of the line diagnosis
//                                 ("nothing", "crc-error", ...,
//                                 "other-transaction"), those at 0 too
//   k40_build_info{version}       1
std::string ExporterText(const ServeSnapshot& s);
