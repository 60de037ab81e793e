// The server's settings as values: where it listens, who may send commands,
// how long scans are kept, what a probe may reach. The program reads its
// command line into them; nothing here parses text a person typed.
#pragma once

#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include "link/TcpAddress.h"
#include "serve/CommandGate.h"
#include "serve/ProbeTargets.h"
#include "serve/Prober.h"

struct ServeOptions {
    TcpAddress listen{"127.0.0.1", 9040};
    std::vector<std::string> hostNames;  // other names the server is reached by (Host)
    std::chrono::seconds history{24 * 3600};
    ServeAccess access;            // commands: allowed, their token, the read-back
    bool pollsUnit = true;         // false: a fleet exporter, /probe alone
    double intervalSeconds = 1.0;  // between the unit's scans
    bool probe = false;            // GET /probe
    ProbeRules probeRules;
    ProberSettings prober;
    std::string historyFile;  // every scan appended, the newest read back at start; none: memory only
};
