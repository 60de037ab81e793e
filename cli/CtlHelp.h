// The part of k40ctl's --help after the options: the subcommands' own
// options, watching, the units, confirmations, scan times, echo, late replies,
// diagnosis, broadcasts, ports, exit statuses and examples. The manual page is
// made from it.
#pragma once

extern const char kCtlFooter[];
