// SIGINT and SIGTERM as k40ctl's long runs (watch, scan) take them: they only
// set a flag. The exchange under way finishes (the link retries a wait that
// the signal interrupted), its result is reported whole, and then the run ends.
#pragma once

void CatchStopSignals();
// True once SIGINT or SIGTERM has come.
bool StopRequested();
