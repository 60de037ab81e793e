// SIGINT, SIGTERM and SIGHUP as k40ctl's long runs (watch, scan) take them:
// they only set a flag. The exchange under way finishes (the link retries a
// wait that the signal interrupted), its result is reported whole, and then
// the run ends, or, for SIGHUP with HangUp::Reopens, the output file is
// reopened before the next record (the convention logrotate relies on).
#pragma once

enum class HangUp {
    Stops,    // a closed terminal: the run ends as on SIGTERM
    Reopens,  // the run writes to a file that log rotation may have moved
};

void CatchStopSignals(HangUp hangUp = HangUp::Stops);
// True once SIGINT or SIGTERM (or SIGHUP with HangUp::Stops) has come.
bool StopRequested();
// True once for every SIGHUP that came with HangUp::Reopens; the call takes it.
bool ReopenRequested();
