// "k40ctl scan": finds a unit whose baud rate or address is unknown
// (master/LineScan.h says how); what it finds on standard output, its
// progress on standard error when that is a terminal.
#pragma once

#include "cli/CtlOptions.h"

// Runs the scan on o.port ("found: 4800 baud 8N1, address 37" for each unit
// found). 0 when a unit was found, 3 when none, 5 when the port could not be
// opened.
int RunScan(const CtlOptions& o);
