// k40ctl check: a check plugin for Nagios and Icinga. One read of the unit, or
// with --serve the state a running k40ctl serve holds (a serial port or a
// device server serves one master at a time); the unit's alarms and the
// thresholds given judge it; one status line and the exit status say it.
#pragma once

#include <CLI/CLI.hpp>
#include <string>

#include "cli/CtlOptions.h"

class UnitLink;

CLI::App* AddCheckCommand(CLI::App& app, CtlOptions& o);
// After parsing, when check was given: empty, or the reason to refuse.
std::string FinishCheckOptions(CtlOptions& o);
// Prints the verdict on standard output; returns the plugin's exit status.
int RunCheck(const CtlOptions& o, UnitLink& link);

// The help's section on check.
extern const char kCheckHelp[];
