// The command line of k40sim.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "link/LineSettings.h"
#include "sim/SimEngine.h"

struct SimOptions {
    std::string linkPath;       // --link: symbolic link to the pseudo-terminal
    std::string devicePath;     // --device: a real serial line instead of a pseudo-terminal
    std::string listenAddress;  // --listen: HOST:PORT of a TCP listener instead
    bool mbtcp = false;         // --listen-mbtcp: the listener speaks Modbus TCP (MBAP)
    std::uint32_t baud = 0;     // --baud: 0 = no line pacing (device: 9600)
    Parity parity = Parity::None;  // --parity
    int stopBits = 1;              // --stop-bits
    std::string tracePath;      // --trace
    bool quiet = false;         // --quiet: no request log on stderr
    bool adapterEcho = false;   // --adapter-echo (or the partial-echo fault)
    bool help = false;          // --help
    SimEngineConfig engine;     // --slave, --seed, --static, --status, --fault, --reply-delay
};

class CSimOptions {
public:
    // Parses argv[1..] with CLI11; false with a message in error when something is
    // wrong. -h and --help set help: the text is HelpText(), not CLI11's.
    static bool Parse(int argc, const char* const* argv, SimOptions& options, std::string& error);
    static const char* HelpText();
};
