// The serve subcommand on k40ctl's command line.
#pragma once

#include <CLI/CLI.hpp>
#include <string>

#include "cli/CtlOptions.h"

CLI::App* AddServeCommand(CLI::App& app, CtlOptions& o);
// After parsing, when serve was given: empty, or the reason to refuse.
std::string FinishServeOptions(const CLI::App& app, CtlOptions& o);

// The help's section on serve.
extern const char kServeHelp[];
