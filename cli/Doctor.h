// "k40ctl doctor": the checks an engineer would make by hand when the unit
// does not answer, in the order they matter: the port exists, this user may
// open it, no other program holds it, nothing grabs USB serial adapters, the
// driver keeps its latency low; then one read of the unit. Each check prints
// one pass/warn/fail line with the fix in one sentence.
#pragma once

#include "cli/CtlOptions.h"
#include "master/UnitLink.h"

// 0 when no check failed, 1 otherwise.
int RunDoctor(const CtlOptions& options, UnitLink& link);
