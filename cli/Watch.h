// "k40ctl watch": the reads repeated until a count is reached or SIGINT or
// SIGTERM arrives, each scan a record (CSV, JSON Lines, a table), the live view
// on a terminal, or the Prometheus textfile rewritten after every scan.
#pragma once

#include "cli/CtlOptions.h"
#include "master/UnitLink.h"

// The watch's exit status: 0 when it ended (also with failed scans), 5 when
// the port could not be opened at the start, 1 when the output could not be
// written. Messages and the summary go to standard error.
int RunWatch(const CtlOptions& options, UnitLink& link);
