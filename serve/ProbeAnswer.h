// The pieces of GET /probe?target=T&slave=N that need no thread and no
// socket: what the request asks for, how long the probe may take, how long
// each exchange may wait, and the text of the answer.
#pragma once

#include <chrono>
#include <string>

#include "master/ReadRecord.h"
#include "serve/Http.h"
#include "serve/ProbeTargets.h"

struct ProbeRequest {
    ProbeTarget target;
    TargetVerdict verdict = TargetVerdict::Refused;
    int slave = 1;
};

// target (required, once) and slave (once; default 1; 1..254 on a serial
// line or tcp://, a unit id 0..255 with mbtcp://, as k40ctl's --slave).
// False with the reason in *why (the 400's text) when the request is
// malformed or its target is not allowed; other query parameters are left to
// the scraper.
bool ParseProbeRequest(const HttpRequest& request, const ProbeRules& rules, ProbeRequest* probe,
                       std::string* why);

// How long a probe may take from its request: the scraper's
// X-Prometheus-Scrape-Timeout-Seconds less a margin for the answer to travel
// (a tenth of it, at most 0.5 s), at most two minutes; without the header (or
// with one that is no positive number of seconds) time for the connect and the
// scan's two reads with the full --wait each.
std::chrono::milliseconds ProbeBudget(const std::string& scrapeTimeout, int waitMs);

// The reply wait of each exchange when `left` remains for the connect and
// the two reads: --wait, or a third of what is left when that is less. 0 when
// too little is left for a scan to mean anything.
int ExchangeWaitMs(std::chrono::milliseconds left, int waitMs);

// Why a scan failed, in words that hold nothing the target sent: the outcome
// and the kind of what the line showed ("no reply within 500 ms (no-frame)"),
// never the bytes themselves, so that a probe reads no banner of a service
// that is no unit.
std::string ProbeFailure(const ReadRecord& record, int waitMs);

// The answer: a comment with the reason when the scan failed or could not be
// made (comments are no samples: nothing to alert on but k40_up), the scan as
// `watch all --format prometheus` writes it (labelled port=target as given,
// slave), without the watch's counters, and k40_probe_duration_seconds.
std::string ProbeText(const ReadRecord& record, const std::string& target, int slave,
                      double seconds, const std::string& reason);

// Content-Type of the Prometheus text format.
extern const char* const kPrometheusContentType;
