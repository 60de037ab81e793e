// The answer to GET /api/v1/readings of `k40ctl serve`: the last scan as
// `watch all --format jsonl` writes it, and the state of the link and of the
// server around it.
#pragma once

#include <string>

#include "serve/ServeSnapshot.h"

// One JSON object (no line end):
//   time, outcome, response_ms, exception, diagnosis, values
//       the fields of JsonLine(s.last); time and outcome null before the
//       first scan
//   link      {state (LinkStateWord), since (ISO 8601 or null while
//             starting), finding, diagnosis (null unless the link fails)}
//   alarms    [{id, name (Chinese), name_en, severity, since (ISO 8601: the
//             first scan that saw it raised)}], critical first; null unless
//             the last scan got a reply
//   port, slave, interval_s, wait_ms, version
//   commands  {allowed, token}
//   counters  {scans, failed, missed, sent, replies, exceptions,
//             failures {kind: count, ...}, response_ms {min, mean, max}
//             (each null before the first answer)}
//   last_good_scan  ISO 8601 or null
std::string ReadingsJson(const ServeSnapshot& s);

// The answer to GET /api/v1/bits: what the fifteen status bits mean, in bit
// order, for the page's words (one request at its start, not one per scan):
//   [{bit, kind ("alarm" or "mode"), id, name_en, states [English words for
//   0 and 1], raises (an alarm: the value that raises it, else null),
//   severity (an alarm: "critical" or "warning", else null)}]
std::string BitMeaningsJson();
