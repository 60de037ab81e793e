// k40ctl's command line: the port options, the subcommand and its arguments.
// CLI11 parses it; the ranges are those of k40tool's pages.
#pragma once

#include <ostream>
#include <string>
#include <vector>

#include "cli/CheckRange.h"
#include "formats/RecordFormat.h"
#include "link/EchoMode.h"
#include "link/LineSettings.h"
#include "master/Poller.h"
#include "master/RawAccess.h"
#include "master/ScanScope.h"
#include "unit/ControlCommands.h"

// Exit statuses, documented in --help and the manual page.
constexpr int kExitReply = 0;
constexpr int kExitFailure = 1;  // a write error on the output
constexpr int kExitUsage = 2;
constexpr int kExitTimeout = 3;
constexpr int kExitException = 4;
constexpr int kExitPort = 5;
constexpr int kExitNotConfirmed = 6;  // a system command's read-back did not show it
constexpr int kExitCheckUsage = 3;    // check: a plugin's UNKNOWN; its other statuses are its own

enum class Action {
    ReadAnalog,
    ReadBits,
    SystemMode,
    Module,
    Watch,
    Ports,
    Doctor,
    Scan,
    RawRead,   // read coils|discrete|holding|input of any device
    RawWrite,  // write coil|register|registers of any device
    Serve,     // HTTP: the exporter, the API, the events, commands, the probe
    Census,    // every address of a range: who answers, and who they are
    Identify,  // who --slave is
    Check,     // a monitoring plugin's check: alarms and thresholds, exit 0..3
    Token,     // a new secret for serve's --token-file and --read-token-file
};

// k40ctl serve's options as given, turned into serve's settings when it
// starts (the listen address, the history's duration, the token file, the
// probe's targets).
struct ServeArgs {
    std::string listen = "127.0.0.1:9040";
    std::string history = "24h";
    bool allowCommands = false;
    std::string tokenFile;
    std::string readTokenFile;  // reads need a token too
    std::string newTokenFile;   // k40ctl token FILE
    std::vector<std::string> hostNames;
    bool probe = false;
    std::vector<std::string> probeTargets, probePorts;
    int probeParallel = 16;
    bool pollsUnit = true;  // false: serve --probe without --port, a fleet exporter only
    std::string historyFile;
};

// k40ctl check's options: where the state comes from, the thresholds, the
// time allowed.
struct CheckArgs {
    std::string serveUrl;  // --serve: a running serve's base URL; empty: read the unit
    std::vector<std::string> warning, critical;  // ID=RANGE as given
    std::vector<CheckThreshold> warnings, criticals;
    double timeoutSeconds = 10;
};

struct CtlOptions {
    std::string port = "COM1";
    LineSettings line;       // --baud, --parity, --stop-bits: the unit talks 9600 8N1
    bool baudGiven = false;  // --baud on the command line: scan tries that rate only
    int slave = 1;
    int waitMs = 1500;
    bool waitGiven = false;  // --wait on the command line: also the census's time per try
    bool trace = false;
    EchoMode echo = EchoMode::Auto;  // whether the adapter returns the request
    bool confirm = true;             // read back a system command's status bit
    OutputFormat format = OutputFormat::Table;

    Action action = Action::ReadAnalog;
    bool bitsByRegister = false;  // di --register: function 03, register 0
    SystemMode mode = SystemMode::Manual;
    int module = 0;
    ModuleSetting setting = ModuleSetting::On;
    float setpoint = 0.0f;

    // watch WHAT, --interval, --count (0: until interrupted); serve's --interval
    PollPlan watch{ScanScope::Analog, {}, 1.0, 0};
    std::string output;   // empty: standard output

    bool scanFast = false;  // scan: 9600 and 19200 first, then the others from the highest down
    bool scanAll = false;   // scan: go on after the first unit found
    bool scanAllLines = false;  // scan: even and odd parity as well as none
    int censusFrom = 1;     // census: the addresses asked
    int censusTo = 254;

    RawRead raw;                         // read, watch read
    std::string referenceHint;           // read, watch read, write: said on exception 02
    std::vector<std::uint8_t> writePdu;  // write: the request's function code and data
    bool broadcast = false;              // write with --slave 0 on RTU: to every slave
    int turnaroundMs = 100;              // quiet after a broadcast, for the slaves to act

    ServeArgs serve;
    CheckArgs check;
};

// Parses argv into options. -1 when the command should run; otherwise the
// exit status (0 after --help, 2 after a refused command line, with the
// message on err).
int ParseCtlOptions(int argc, char** argv, CtlOptions& options, std::ostream& out,
                    std::ostream& err);
