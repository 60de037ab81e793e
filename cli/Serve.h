// k40ctl serve: the poller (unless a fleet exporter) and the HTTP server, on
// one link; ends on SIGINT or SIGTERM.
#pragma once

#include "cli/CtlOptions.h"
#include "master/UnitLink.h"

// 0 after a stop signal; 2 for refused settings (listen address, history,
// token file, probe targets); 5 when the port or the listen address cannot
// be opened, with the reason on standard error.
int RunServe(const CtlOptions& options, UnitLink& link);
