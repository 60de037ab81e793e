// k40ctl ports: the serial ports the machine has, in COMn order, with what
// sysfs tells of each, so an engineer can see which adapter COM1 is and pick a
// stable /dev/serial/by-id/ name for scripts. Nothing is opened.
#pragma once

#include <string>
#include <vector>

#include "cli/CtlOptions.h"
#include "link/PortDiscovery.h"

// One port of the list and the COMn names that open it right now.
struct PortListing {
    SerialPortInfo info;
    std::vector<std::string> comNames;  // "COM1"; more than one when $K40_COMn also names it
};

// The ports present under devDir and sysDir, each with the COMn names that
// resolve to it: its place in the list unless $K40_COMn names another device,
// and any $K40_COMn that names it, by path or by-id link. After them, each
// other device a $K40_COMn names - a pseudo-terminal, another terminal device,
// a tcp:// device server - with its COMn names and no details.
std::vector<PortListing> ListPorts(const std::string& devDir, const std::string& sysDir);

// The list as text: an aligned table with a header line, CSV with a header
// (RFC 4180), or JSON Lines (one object a port, as the read records).
std::string FormatPorts(const std::vector<PortListing>& ports, OutputFormat format);

// Runs the subcommand: prints the list of the machine's ports (the folders may
// be moved with the environment variables K40_DEV_DIR and K40_SYS_DIR, which
// tests use to stand in trees of their own). The exit status.
int RunPorts(const CtlOptions& options);

// The folders discovery reads: $K40_DEV_DIR and $K40_SYS_DIR when set, else
// "/dev" and "/sys". COMn in --port resolves in the same folders.
std::string DevDir();
std::string SysDir();
