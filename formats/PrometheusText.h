// The unit's last scan in the Prometheus text exposition format, for
// node_exporter's textfile collector: k40ctl rewrites the file after every scan
// and the monitoring system that already watches the fleet scrapes it.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "master/ReadRecord.h"

// What the file stands for and how the watch went so far.
struct PrometheusScrape {
    std::string port;  // --port as given: a label of every sample, with the slave,
    int slave = 1;     // so that the files of several units never clash
    std::uint64_t scans = 0, failedScans = 0;
    // The two counters of the watch; a probe (k40ctl serve's /probe) is one
    // scan on request and has none.
    bool scanCounters = true;
};

// HELP and TYPE lines and the samples, each labelled port="...",slave="N":
//   k40_up                                               1 when the last scan got a reply
//   k40_analog_value{name="...",register="100",unit="V"}  a gauge per analog column,
//                                                        in its physical unit
//   k40_status_bit{name="...",bit="0",legend="..."}       a gauge per status-bit column
//   k40_alarm{alarm="ac_power_failure",severity="critical",name="交流停电"}
//                                                        0 or 1 for each of the thirteen alarms
//   k40_alarms_active{severity="critical"|"warning"}     how many of them are raised
//   k40_scans_failed_total, k40_scans_total                counters of this watch
//                                                        (with scanCounters)
// The gauges have no samples when the last scan got no reply (or could not be
// made), so that a stale value is never published as current.
std::string PrometheusText(const ReadRecord& last, const std::vector<SignalReading>& columns,
                           const PrometheusScrape& scrape);
