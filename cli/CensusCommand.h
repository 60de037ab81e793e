// "k40ctl census" and "k40ctl identify": who is on the line, and who one
// device is (master/Census.h says how they are asked), in k40ctl's formats.
#pragma once

#include "cli/CtlOptions.h"
#include "master/UnitLink.h"

// The census over o.censusFrom..o.censusTo on the open link, each device on
// standard output as it is found, progress on standard error when it is a
// terminal; SIGINT or SIGTERM ends it after the current try, with what was
// found. 0 when a device answered, 3 when none did.
int RunCensus(const CtlOptions& o, UnitLink& link);
// identify: the survey of --slave on the open link. 0 with an identification (or the unit
// recognised), 4 when the device answered only with exceptions, 3 without an
// answer; a gateway's 0A or 0B is reported as the exception it is (4).
int RunIdentify(const CtlOptions& o, UnitLink& link);
