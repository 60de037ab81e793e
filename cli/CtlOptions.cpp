#include "cli/CtlOptions.h"

#include <CLI/CLI.hpp>
#include <algorithm>
#include <cmath>
#include <map>
#include <sstream>

#include "cli/CheckCommand.h"
#include "cli/CtlHelp.h"
#include "cli/HelpWords.h"
#include "cli/RawOptions.h"
#include "cli/ServeCommand.h"
#include "link/SerialComm.h"
#include "link/TcpAddress.h"
#include "master/UnitCommand.h"

namespace {

const std::map<std::string, OutputFormat> kFormats = {{"table", OutputFormat::Table},
                                                      {"csv", OutputFormat::Csv},
                                                      {"json", OutputFormat::Json},
                                                      {"prometheus", OutputFormat::Prometheus}};

bool DecimalDigits(const std::string& text) {
    return !text.empty() &&
           std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// Whole numbers are written in decimal digits only: "1e3", "1.5", "0x100" and
// "+5" are refused for what they are, rather than called out of range or
// taken for another number.
const CLI::Validator kDecimalDigits(
    [](std::string& text) {
        return DecimalDigits(text) ? std::string() : text + ": decimal digits only";
    },
    "DIGITS", "decimal digits");

// The rates the line offers, as the settings page lists them: "600, 1200, ...".
std::string BaudRates() {
    std::string list;
    for (int i = 0; CSerialComm::BaudRate(i) != 0; ++i) {
        list += (i == 0 ? "" : ", ") + std::to_string(CSerialComm::BaudRate(i));
    }
    return list;
}

// Another rate is refused with the rates named.
const CLI::Validator kBaudRate(
    [](std::string& text) {
        if (DecimalDigits(text) && text.size() <= 6 &&
            CSerialComm::BaudIndex(static_cast<std::uint32_t>(std::stoul(text))) >= 0) {
            return std::string();
        }
        return text + " is not a rate of the line: one of " + BaudRates();
    },
    "BAUD", "baud rate");

// The line behind tcp:// and mbtcp:// is set on the device server: the
// master's parity and stop bits would change nothing, so they are refused
// rather than silently ignored (its --baud only paces nothing there either,
// and stays accepted for the scripts that always pass one).
std::string RefuseLineOnConnection(const CLI::App& app, const std::string& port) {
    if (!IsTcpPortName(port) && !IsMbapPortName(port)) {
        return {};
    }
    for (const char* option : {"--parity", "--stop-bits"}) {
        if (app.count(option) != 0) {
            return std::string(option) +
                   " is the device server's setting: set the line's parity and stop bits on "
                   "the server (" +
                   port + " carries bytes, not the line's framing)";
        }
    }
    return {};
}

int Refuse(std::ostream& err, const std::string& message) {
    err << "k40ctl: " << message << "\n";
    return kExitUsage;
}

// What the command line fills besides the options themselves: the words that
// become options once the whole line is parsed, and the subcommands given.
struct ParsedLine {
    std::string parity = "none";
    std::string format = "table";
    std::string echo;
    bool noConfirm = false;
    CLI::Option* wait = nullptr;
    CLI::App* ai = nullptr;
    CLI::App* di = nullptr;
    std::map<CLI::App*, SystemMode> modeCommands;
    CLI::App* module = nullptr;
    std::string setting;  // module N SETTING [VALUE]
    std::vector<std::string> value;
    RawArgs raw;
    CLI::App* watch = nullptr;
    CLI::App* watchRead = nullptr;
    std::string scope = "ai";  // watch WHAT
    CLI::App* ports = nullptr;
    CLI::App* doctor = nullptr;
    CLI::App* scan = nullptr;
    CLI::App* census = nullptr;
    CLI::App* identify = nullptr;
    CLI::App* serve = nullptr;
    CLI::App* check = nullptr;
    CLI::App* token = nullptr;
};

// The options before the subcommand: the line, the addressing, the output.
void AddLineOptions(CLI::App& app, CtlOptions& o, ParsedLine& p, std::ostream& err) {
    app.add_option("--port", o.port,
                   "serial port: a device path, COM1, COM2, ... as in k40tool, "
                   "tcp://HOST:PORT or mbtcp://HOST[:PORT] (see Ports below)")
        ->capture_default_str();
    app.add_option("--baud", o.line.baud, "line speed: " + BaudRates())
        ->type_name("INT")  // the help and the manual page say INT, whatever the field
        ->check(kBaudRate)
        ->capture_default_str();
    app.add_option("--parity", p.parity,
                   "the line's parity: none, even, odd (8 data bits always; the unit: none)")
        ->check(CLI::IsMember({"none", "even", "odd"}))
        ->capture_default_str();
    app.add_option("--stop-bits", o.line.stopBits, "the line's stop bits: 1, 2")
        ->check(CLI::IsMember({"1", "2"}))
        ->capture_default_str();
    app.add_option("--slave", o.slave,
                   "slave address (1..254; 0 broadcasts a write; mbtcp://: unit id 0..255)")
        ->check(kDecimalDigits)
        ->check(CLI::Range(0, 255))
        ->capture_default_str();
    p.wait = app.add_option("--wait", o.waitMs, "reply wait in ms");
    p.wait->check(kDecimalDigits)->check(CLI::Range(100, 50000))->capture_default_str();
    app.add_option("--turnaround", o.turnaroundMs,
                   "ms of quiet after a broadcast, for the slaves to carry it out")
        ->check(kDecimalDigits)
        ->check(CLI::Range(0, 10000))
        ->capture_default_str();
    app.add_option("--format", p.format, "output: table, csv, json (JSON Lines), prometheus")
        ->check(CLI::IsMember({"table", "csv", "json", "prometheus"}))
        ->capture_default_str();
    app.add_flag("--trace", o.trace, "every frame sent and received, as hex, on standard error");
    // Without --echo, K40_ECHO decides, as for k40tool.
    const char* refused = nullptr;
    p.echo = EchoModeName(EchoModeFromEnvironment(&refused));
    if (refused != nullptr) {
        err << "k40ctl: K40_ECHO=" << refused << " is not on, off or auto; auto is used\n";
    }
    app.add_option("--echo", p.echo,
                   "the adapter returns each request: on, off, auto (learned from a read); "
                   "default $K40_ECHO, else auto")
        ->check(CLI::IsMember({"on", "off", "auto"}))
        ->capture_default_str();
    app.add_flag("--no-confirm", p.noConfirm,
                 "manual, auto, float, equalize: do not read the status bits back");
}

// The unit's own reads and commands.
void AddUnitCommands(CLI::App& app, CtlOptions& o, ParsedLine& p) {
    p.ai = app.add_subcommand("ai", "read the nine analog values (function 03, 100..108)");
    p.di = app.add_subcommand("di", "read the fifteen status bits (function 01, coils 0..14)");
    p.di->add_flag("--register", o.bitsByRegister, "read them as holding register 0 (function 03)");
    p.modeCommands[app.add_subcommand("manual", "manual operation (coil 200 on)")] =
        SystemMode::Manual;
    p.modeCommands[app.add_subcommand("auto", "automatic operation (coil 200 off)")] =
        SystemMode::Automatic;
    p.modeCommands[app.add_subcommand("float", "float charge (coil 201 on)")] =
        SystemMode::FloatCharge;
    p.modeCommands[app.add_subcommand("equalize", "equalize charge (coil 201 off)")] =
        SystemMode::EqualizeCharge;

    p.module = app.add_subcommand(
        "module", "rectifier module N (0..20): on | off | voltage V (0..300) | current P (0..110)");
    p.module->add_option("N", o.module, "module number")
        ->required()
        ->check(kDecimalDigits)
        ->check(CLI::Range(0, kMaxModule));
    p.module->add_option("SETTING", p.setting, "on, off, voltage, current")
        ->required()
        ->check(CLI::IsMember({"on", "off", "voltage", "current"}));
    p.module->add_option("VALUE", p.value, "volts (voltage) or percent (current)");
}

// Raw access, the watch, and the commands about the line and the bus.
void AddLineCommands(CLI::App& app, CtlOptions& o, ParsedLine& p) {
    AddRawOptions(app, p.raw);
    p.watch =
        app.add_subcommand("watch", "repeat the reads: ai (default), di, all or read TABLE ...");
    p.watchRead = p.watch->add_subcommand("read", "a raw read of any device, as read does");
    AddReadArguments(*p.watchRead, p.raw);
    p.watch->add_option("WHAT", p.scope, "ai, di or all")
        ->check(CLI::IsMember({"ai", "di", "all"}));
    p.watch->add_option("--interval", o.watch.intervalSeconds, "seconds between scans (0: at once)")
        ->check(CLI::Range(0.0, 86400.0))
        ->capture_default_str();
    p.watch
        ->add_option("--count", o.watch.count,
                     PlatformHelp("scans to make (0: until SIGINT or SIGTERM)"))
        ->check(kDecimalDigits)
        ->check(CLI::Range(0LL, 1000000000000LL));
    p.watch->add_option("--output", o.output,
                        "append the records to FILE (prometheus: rewrite FILE after every scan)");

    p.ports =
        app.add_subcommand("ports", "list the serial ports in COMn order, with their details");
    p.doctor =
        app.add_subcommand("doctor", "check the port, this computer and one read of the unit");
    p.scan = app.add_subcommand(
        "scan", "find the unit's baud rate and address (register 0 at each of 1..254)");
    p.scan->add_flag("--fast", o.scanFast,
                     "9600 and 19200 first, then the others from the highest");
    p.scan->add_flag("--all", o.scanAll, "go on after the first unit found");
    p.scan->add_flag("--all-lines", o.scanAllLines,
                     "at every rate try even and odd parity too, not only none");
    p.census = app.add_subcommand(
        "census", "list every device that answers on the line, with its identification");
    p.census->add_option("--from", o.censusFrom, "first address (default 1)")
        ->check(kDecimalDigits)
        ->check(CLI::Range(0, 255));
    p.census->add_option("--to", o.censusTo, "last address (default 254)")
        ->check(kDecimalDigits)
        ->check(CLI::Range(0, 255));
    p.identify = app.add_subcommand(
        "identify", "who --slave is: 43/14 device identification, else 17 report server id");
    p.serve = AddServeCommand(app, o);
    p.check = AddCheckCommand(app, o);
    p.token = app.add_subcommand(
        "token", "write a new secret of 256 bits for serve --token-file (readable by you only)");
    p.token->add_option("FILE", o.serve.newTokenFile, "a file that does not exist yet")
        ->required();
}

// Parses the command line: -1 to go on, else the exit status (help and
// version printed: 0; a malformed line, said on err: the usage status).
int ParseWords(CLI::App& app, int argc, char** argv, std::ostream& out, std::ostream& err) {
    try {
        app.parse(argc, argv);
    } catch (const CLI::CallForHelp&) {
        out << app.help();
        return 0;
    } catch (const CLI::CallForAllHelp&) {
        out << app.help("", CLI::AppFormatMode::All);
        return 0;
    } catch (const CLI::CallForVersion& e) {
        out << e.what() << "\n";
        return 0;
    } catch (const CLI::ParseError& e) {
        // A word that is no subcommand is left over: name it rather than
        // saying that a subcommand is missing.
        const std::vector<std::string> left = app.remaining();
        if (app.get_subcommands().empty() && !left.empty() && !left.front().empty() &&
            left.front()[0] != '-') {
            err << "k40ctl: unknown subcommand \"" << left.front() << "\"\n";
        } else {
            err << "k40ctl: " << e.what() << "\n";
        }
        err << "Run with --help for more information.\n";
        return kExitUsage;
    }
    return -1;
}

// The census's range: "" or why it is refused. Address 0 of an RTU line is
// the broadcast, which nobody answers; 0 and 255 are unit ids over Modbus TCP.
std::string CheckCensusRange(const CtlOptions& o) {
    const int last = IsMbapPortName(o.port) ? 255 : 254;
    const int first = IsMbapPortName(o.port) ? 0 : 1;
    if (o.censusFrom < first || o.censusTo > last || o.censusFrom > o.censusTo) {
        return "census: --from and --to span addresses " + std::to_string(first) + ".." +
               std::to_string(last) + ", --from not past --to";
    }
    return {};
}

// The watch's scope and, for watch read, its read: "" or why it is refused.
std::string FinishWatch(ParsedLine& p, CtlOptions& o) {
    o.watch.scope = p.scope == "di"    ? ScanScope::Bits
                    : p.scope == "all" ? ScanScope::All
                                       : ScanScope::Analog;
    if (p.watchRead->parsed()) {
        o.watch.scope = ScanScope::Raw;
        std::string why = MakeRawRead(p.raw, o.raw);
        o.watch.raw = o.raw;
        if (why.empty() && o.format == OutputFormat::Prometheus && !IsBitTable(o.raw.table) &&
            o.raw.type == RawType::Ascii) {
            why = "--type ascii is text, which Prometheus samples cannot hold";
        }
        if (!why.empty()) {
            return "watch read: " + why;
        }
        o.referenceHint = ReferenceHint(p.raw);
    }
    if (o.format == OutputFormat::Prometheus && o.output.empty()) {
        return "--format prometheus needs --output FILE";
    }
    return {};
}

// The action of the subcommand given, with what it needs from the words
// parsed: "" or why it is refused.
std::string FinishAction(const CLI::App& app, ParsedLine& p, CtlOptions& o) {
    if (p.ai->parsed()) {
        o.action = Action::ReadAnalog;
    } else if (p.di->parsed()) {
        o.action = Action::ReadBits;
    } else if (p.module->parsed()) {
        o.action = Action::Module;
        UnitCommand command;
        const std::string why = MakeModuleCommand(o.module, p.setting, p.value, &command);
        o.setting = command.setting;
        o.setpoint = command.setpoint;
        return why;
    } else if (p.raw.read->parsed() || p.raw.write->parsed()) {
        const bool read = p.raw.read->parsed();
        o.action = read ? Action::RawRead : Action::RawWrite;
        o.referenceHint = ReferenceHint(p.raw);
        const std::string why = read ? MakeRawRead(p.raw, o.raw) : MakeRawWrite(p.raw, o.writePdu);
        return why.empty() ? why : std::string(read ? "read" : "write") + ": " + why;
    } else if (p.ports->parsed()) {
        o.action = Action::Ports;
    } else if (p.doctor->parsed()) {
        o.action = Action::Doctor;
    } else if (p.scan->parsed()) {
        o.action = Action::Scan;
    } else if (p.census->parsed()) {
        o.action = Action::Census;
        return CheckCensusRange(o);
    } else if (p.identify->parsed()) {
        o.action = Action::Identify;
    } else if (p.token->parsed()) {
        o.action = Action::Token;
    } else if (p.serve->parsed()) {
        o.action = Action::Serve;
        const std::string why = FinishServeOptions(app, o);
        return why.empty() ? why : "serve: " + why;
    } else if (p.check->parsed()) {
        o.action = Action::Check;
        const std::string why = FinishCheckOptions(o);
        return why.empty() ? why : "check: " + why;
    } else if (p.watch->parsed()) {
        o.action = Action::Watch;
        return FinishWatch(p, o);
    } else {
        for (const auto& [command, mode] : p.modeCommands) {
            if (command->parsed()) {
                o.action = Action::SystemMode;
                o.mode = mode;
            }
        }
    }
    return {};
}

// The slave address and the output against the action: "" or why refused.
std::string CheckAddressing(CtlOptions& o) {
    if (o.slave == 255 && !IsMbapPortName(o.port)) {
        return "--slave 255 is a Modbus TCP unit id: only with --port mbtcp://";
    }
    // Every slave of an RTU line takes a request to address 0 and none may
    // answer it: a write can be broadcast, but a read, and the unit's commands
    // that are confirmed by their reply and a read-back, would wait for nothing.
    o.broadcast = o.slave == 0 && !IsMbapPortName(o.port);
    if (o.broadcast && o.action != Action::RawWrite) {
        return "--slave 0 is the broadcast address: sent to all units, and no reply is "
               "expected, so only write can use it";
    }
    if (o.format == OutputFormat::Prometheus && o.action != Action::Watch &&
        o.action != Action::Serve) {
        return "--format prometheus is for watch --output FILE";
    }
    return {};
}

// A refused command line, said on err. A check plugin's usage errors are
// UNKNOWN (3) to the monitoring system, not the CRITICAL its exit status 2
// would say, and said on stdout too, where the monitoring system reads a
// plugin's status line; every other command's are 2.
int UsageError(const ParsedLine& p, int argc, char** argv, const std::string& said,
               std::ostream& out, std::ostream& err) {
    err << said;
    const bool check = p.check->parsed() ||
                       std::any_of(argv + 1, argv + argc, [](const char* a) {
                           return std::string(a) == "check";
                       });
    if (!check) {
        return kExitUsage;
    }
    const std::string prefix = "k40ctl: ";
    std::string line = said.substr(0, said.find('\n'));
    if (line.compare(0, prefix.size(), prefix) == 0) {
        line.erase(0, prefix.size());
    }
    out << "K40 UNKNOWN - " << line << "\n";
    return kExitCheckUsage;
}

}  // namespace

int ParseCtlOptions(int argc, char** argv, CtlOptions& o, std::ostream& out, std::ostream& err) {
    CLI::App app{"k40ctl: the HCU-K40 monitoring unit over Modbus RTU, from the command line",
                 "k40ctl"};
    app.footer(PlatformHelp(std::string(kCtlFooter).insert(
        std::string(kCtlFooter).find("Units:\n"), std::string(kServeHelp) + kCheckHelp)));
    app.set_version_flag("--version", "k40ctl " K40_VERSION);
    app.require_subcommand(1);
    app.fallthrough();
    ParsedLine p;
    AddLineOptions(app, o, p, err);
    AddUnitCommands(app, o, p);
    AddLineCommands(app, o, p);
    std::ostringstream said;
    if (const int status = ParseWords(app, argc, argv, out, said); status >= 0) {
        return status == kExitUsage ? UsageError(p, argc, argv, said.str(), out, err) : status;
    }
    o.format = kFormats.at(p.format);
    ParseParity(p.parity, o.line.parity);
    o.baudGiven = app.count("--baud") != 0;
    ParseEchoMode(p.echo.c_str(), o.echo);
    o.confirm = !p.noConfirm;
    o.waitGiven = p.wait->count() > 0;
    std::string why = RefuseLineOnConnection(app, o.port);
    if (why.empty()) {
        why = FinishAction(app, p, o);
    }
    if (why.empty()) {
        why = CheckAddressing(o);
    }
    if (!why.empty()) {
        Refuse(said, why);
        return UsageError(p, argc, argv, said.str(), out, err);
    }
    return -1;
}
