#include "cli/CtlOptions.h"

#include <CLI/CLI.hpp>
#include <algorithm>
#include <cmath>
#include <map>
#include <sstream>

#include "cli/RawOptions.h"
#include "cli/ServeOptions.h"
#include "cli/UnitCommand.h"
#include "link/SerialComm.h"
#include "link/TcpAddress.h"

namespace {

const char kFooter[] =
    "Subcommand options:\n"
    "  di --register          read the status bits as holding register 0 (function 03)\n"
    "  watch [ai|di|all]      repeat the reads; on a terminal with --format table a live\n"
    "  watch read TABLE ADDRESS [COUNT]\n"
    "                         the same for a raw read of any device (see read below)\n"
    "                         view, otherwise one record a scan, flushed when written\n"
    "    --interval SECONDS   time from one scan's start to the next (default 1; 0: at once)\n"
    "    --count N            end after N scans (default: until SIGINT or SIGTERM)\n"
    "    --output FILE        append the records to FILE (CSV: a header only into an empty\n"
    "                         file; a file of another CSV layout is refused, exit 2);\n"
    "                         with --format prometheus, rewrite FILE atomically after\n"
    "                         every scan for node_exporter's textfile collector\n"
    "  doctor                 check the port and this computer, then read the unit once:\n"
    "                         pass/warn/fail lines, each with its fix; exit 1 on a fail\n"
    "  scan [--fast] [--all]  find a unit of unknown baud rate and address: every baud\n"
    "                         of 600..38400 and address 1..254, reading register 0;\n"
    "                         --fast: 9600 and 19200 first, then the others from the\n"
    "                         highest down; --all: go on after the first unit found;\n"
    "                         Ctrl+C stops after the current try\n"
    "  read TABLE ADDRESS [COUNT]\n"
    "                         any device: TABLE coils (01), discrete (02), holding (03)\n"
    "                         or input (04); ADDRESS is the protocol address, counting\n"
    "                         from 0; COUNT bits or values of --type (default 1;\n"
    "                         at most 2000 bits, 125 registers, no address past 65535)\n"
    "  read REFERENCE [COUNT] the same by a reference number as manuals list them,\n"
    "                         counting from 1: 00001 coil 0, 10001 discrete input 0,\n"
    "                         30001 input register 0, 40001 holding register 0 (five\n"
    "                         digits up to 9999, six up to 65536: 400001); so read\n"
    "                         40101 4 is read holding 100 4 (mbpoll -r 101 -c 4)\n"    "                         (exception 02 at an ADDRESS such as 40101 in read, watch\n"
    "                         read or write says that it looks like a reference)\n"
    "    --type T             u16 (default), s16, u32, s32, f32, hex, u64, s64, f64 or\n"
    "                         ascii; 32-bit values take two registers, 64-bit four;\n"
    "                         ascii reads COUNT registers as one text, two characters\n"
    "                         a register, high byte first, \\xHH for a byte that does\n"
    "                         not print (not for writes, nor --format prometheus)\n"
    "    --word-order O       big (default: first register high) or little\n"
    "    --byte-order O       abcd (as big), cdab (as little), badc or dcba: the bytes\n"
    "                         A (highest) to D of a value; badc and dcba swap the two\n"
    "                         bytes of each register; 64-bit values the same register\n"
    "                         by register; not together with --word-order; --type and\n"
    "                         the orders are refused for coils and discrete inputs\n"
    "  write coil ADDRESS on|off, write coils ADDRESS STATE...,\n"
    "  write register ADDRESS VALUE, write registers ADDRESS VALUE...\n"
    "                         any device: functions 05, 15, 06 and 16, STATE on|off,\n"
    "                         1|0 or true|false, VALUE of --type; the reply is checked\n"
    "                         as for the unit's commands (\"ok\"), 15 and 16 by its\n"
    "                         start and quantity; at most 1968 coils, 123 registers\n"
    "  write REFERENCE VALUE...\n"
    "                         by a reference: 4xxxx is 06 for one register and 16 for\n"
    "                         more, 0xxxx is 05 for one coil and 15 for more\n"
    "  ports                  list the serial ports in COMn order (nothing is opened):\n"
    "                         device, /dev/serial/by-id/ name, USB vendor:product, maker,\n"
    "                         model, serial number, driver; --format table, csv or json\n"
    "\n"
    "Watching:\n"
    "  A watch ends after the current exchange on SIGINT or SIGTERM, and on SIGHUP\n"
    "  unless it writes to --output FILE: then SIGHUP reopens FILE by its name before\n"
    "  the next record (for logrotate). Its counters (requests sent, replies,\n"
    "  exception replies, each kind of failure) and the response time min/mean/max\n"
    "  are shown in the live view's status line and go to standard error at the end.\n"
    "  The live view fits the terminal (80x24 and up); a bit that changed is marked\n"
    "  with the time of its last change. A vanished device is reopened every second;\n"
    "  meanwhile the view shows \"port lost since HH:MM:SS, reopening\" and the values\n"
    "  as stale, each scan due counts as failed, CSV and JSON get no record and the\n"
    "  Prometheus file k40_up 0 without values. Prometheus samples are labelled\n"
    "  port and slave. Each JSON record carries response_ms (null without answer).\n"
    "\n"
    "Units:\n"
    "  The table, JSON, Prometheus and the live view give each measurement its\n"
    "  physical unit: V for the voltages, A for the load and battery currents (105,\n"
    "  107), °C for the battery room temperature (108). k40tool's window shows the\n"
    "  unit column as the unit's documentation prints it (\"A\" on the control bus\n"
    "  voltage, \"V\" on the currents and the temperature), to match that document;\n"
    "  logs and dashboards need the physical unit. CSV headers hold the names only.\n"
    "\n"
    "Confirmed commands:\n"
    "  After manual, auto, float or equalize the status bits are read back (again,\n"
    "  within the wait) until bit 0 (manual/automatic operation) or bit 1\n"
    "  (float/equalize charge) holds what was commanded; otherwise exit status 6.\n"
    "  The option --no-confirm skips it. Module commands are not confirmed: the\n"
    "  unit's map has no read-back for them.\n"
    "\n"
    "Scan times:\n"
    "  Each try of a scan waits the line time of request and reply plus 3.5\n"
    "  characters and 20 ms, so the 254 addresses take about 117 s at 600 baud\n"
    "  (329 ms a try), 61 s at 1200 (175 ms), 33 s at 2400 (98 ms), 19 s at 4800\n"
    "  (59 ms), 12 s at 9600 (40 ms), 9 s at 19200 (30 ms) and 7 s at 38400 (25 ms);\n"
    "  all seven rates about 4.3 minutes.\n"
    "\n"
    "Echo:\n"
    "  Many two-wire RS-485 adapters return every request before the unit's reply.\n"
    "  The option --echo auto (the default, or what K40_ECHO says, as for k40tool)\n"
    "  learns it from a read and keeps it until the port is opened again. The echo\n"
    "  of a write cannot be told from the unit's reply, so in auto a command on a\n"
    "  freshly opened port (every k40ctl call opens it afresh) first reads register\n"
    "  0 once to learn it; a silent unit behind an echoing adapter then gives no\n"
    "  reply, never \"ok\". With --echo on the line is taken to echo (no learning\n"
    "  read); with --echo off it never echoes. With --echo on over a line that does\n"
    "  not echo, reads still work but writes time out (fail safe).\n"
    "\n"
    "Late replies:\n"
    "  A unit slower than --wait still answers the read that timed out. A watch\n"
    "  listens for that reply before its next request, for up to the wait, and\n"
    "  counts it as a reply to an earlier request; scan does not wait for it.\n"
    "\n"
    "Diagnosis:\n"
    "  When an exchange fails, standard error says what arrived and what it likely\n"
    "  means: nothing, only the echo, one copy of a write with --echo on, an altered\n"
    "  copy, bytes without a valid frame (shown in hex), a reply with a wrong CRC (the\n"
    "  whole frame), a frame from another slave address, a reply to an earlier\n"
    "  request, a device server that closed the connection, an exception.\n"
    "\n"
    "Broadcasts:\n"
    "  On a serial line --slave 0 is the broadcast address: write (05, 06, 15, 16)\n"
    "  goes to every slave on the line and none answers, so k40ctl sends it, awaits\n"
    "  no reply and says \"sent to all units (broadcast); no reply is expected\"\n"
    "  (outcome \"broadcast\" in CSV and JSON; exit 0). It then keeps the line quiet\n"
    "  for --turnaround ms (default 100) before it ends, so that the slaves have\n"
    "  carried it out before a next request. Nothing confirms a broadcast: read it\n"
    "  back from each slave. A read and the unit's own commands need a reply and\n"
    "  are refused with --slave 0. Over mbtcp:// unit id 0 goes to the device, which\n"
    "  may forward it to its line as a broadcast: a missing reply is then said to\n"
    "  be expected (exit 3 all the same).\n"
    "\n"
    "Ports:\n"
    "  A port is a device path (/dev/ttyUSB0, or the /dev/serial/by-id/ name that\n"
    "  stays the same when the adapter comes back as another ttyUSB number), COMn, or\n"
    "  tcp://HOST:PORT for a serial device server in raw TCP server mode (RTU frames\n"
    "  through the connection unchanged; HOST a name, an IPv4 address or [IPv6]).\n"
    "  The name lookup and connect are bounded by --wait. mbtcp://HOST[:PORT] is a\n"
    "  Modbus TCP device or gateway (MBAP frames, port 502 by default; --slave is\n"
    "  the unit identifier, 0 and 255 allowed too).\n"
    "\n"
    "  COMn is $K40_COMn when set, else the n-th port present: USB adapters\n"
    "  (/dev/ttyUSB*, then /dev/ttyACM*, each by number), then on-board ports with a\n"
    "  UART behind them (/dev/ttyS*); with fewer ports, /dev/ttyS(n-1).\n"
    "\n"
    "Options may stand before or after the subcommand. Names, units and legends are\n"
    "UTF-8; times are local ISO 8601 with milliseconds and the UTC offset.\n"
    "\n"
    "Exit status:\n"
    "  0  the unit replied (watch: the watch ended, also when scans failed)\n"
    "  1  the output could not be written (a full disk)\n"
    "  2  the command line was refused\n"
    "  3  no reply within the wait time\n"
    "  4  the unit answered with an exception reply (code and name)\n"
    "  5  the port could not be opened (missing, no permission, busy; for tcp://\n"
    "     a bad address, a name that does not resolve, a refused connection)\n"
    "  6  a system command was not confirmed by the read-back\n"
    "  doctor: 0 when no check failed, 1 otherwise; scan: 0 found, 3 none\n"
    "\n"
    "Examples:\n"
    "  k40ctl --port /dev/ttyUSB0 ai\n"
    "\n"
    "  k40ctl --port /dev/ttyUSB0 ai --format json\n"
    "\n"
    "  k40ctl --port /dev/ttyUSB0 module 3 voltage 234.1\n"
    "\n"
    "  k40ctl --port /dev/ttyUSB0 watch all --interval 5 --format csv --output log.csv\n"
    "\n"
    "  k40ctl --port tcp://192.168.1.20:4001 ai\n"
    "\n"
    "  k40ctl --port mbtcp://192.168.1.30 --slave 3 read holding 40 2 --type f32\n"
    "\n"
    "  k40ctl --port /dev/ttyUSB0 --slave 7 write registers 10 1 2 3\n"
    "\n"
    "  k40ctl ports\n"
    "\n"
    "  k40ctl --port /dev/ttyUSB0 doctor\n"
    "\n"
    "  k40ctl --port /dev/ttyUSB0 scan --fast\n";

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

int Refuse(std::ostream& err, const std::string& message) {
    err << "k40ctl: " << message << "\n";
    return kExitUsage;
}

}  // namespace

int ParseCtlOptions(int argc, char** argv, CtlOptions& o, std::ostream& out, std::ostream& err) {
    CLI::App app{"k40ctl: the HCU-K40 monitoring unit over Modbus RTU, from the command line",
                 "k40ctl"};
    app.footer(std::string(kFooter).insert(std::string(kFooter).find("Units:\n"), kServeHelp));
    app.set_version_flag("--version", "k40ctl " K40_VERSION);
    app.require_subcommand(1);
    app.fallthrough();

    app.add_option("--port", o.port,
                   "serial port: a device path, COM1, COM2, ... as in k40tool, "
                   "tcp://HOST:PORT or mbtcp://HOST[:PORT] (see Ports below)")
        ->capture_default_str();
    app.add_option("--baud", o.baud, "line speed: " + BaudRates())
        ->check(kBaudRate)
        ->capture_default_str();
    app.add_option("--slave", o.slave,
                   "slave address (1..254; 0 broadcasts a write; mbtcp://: unit id 0..255)")
        ->check(kDecimalDigits)
        ->check(CLI::Range(0, 255))
        ->capture_default_str();
    app.add_option("--wait", o.waitMs, "reply wait in ms")
        ->check(kDecimalDigits)
        ->check(CLI::Range(100, 50000))
        ->capture_default_str();
    app.add_option("--turnaround", o.turnaroundMs,
                   "ms of quiet after a broadcast, for the slaves to carry it out")
        ->check(kDecimalDigits)
        ->check(CLI::Range(0, 10000))
        ->capture_default_str();
    std::string format = "table";
    app.add_option("--format", format, "output: table, csv, json (JSON Lines), prometheus")
        ->check(CLI::IsMember({"table", "csv", "json", "prometheus"}))
        ->capture_default_str();
    app.add_flag("--trace", o.trace, "every frame sent and received, as hex, on standard error");
    // Without --echo, K40_ECHO decides, as for k40tool.
    const char* refused = nullptr;
    std::string echo = EchoModeName(EchoModeFromEnvironment(&refused));
    if (refused != nullptr) {
        err << "k40ctl: K40_ECHO=" << refused << " is not on, off or auto; auto is used\n";
    }
    app.add_option("--echo", echo,
                   "the adapter returns each request: on, off, auto (learned from a read); "
                   "default $K40_ECHO, else auto")
        ->check(CLI::IsMember({"on", "off", "auto"}))
        ->capture_default_str();
    bool noConfirm = false;
    app.add_flag("--no-confirm", noConfirm,
                 "manual, auto, float, equalize: do not read the status bits back");

    CLI::App* ai = app.add_subcommand("ai", "read the nine analog values (function 03, 100..108)");
    CLI::App* di =
        app.add_subcommand("di", "read the fifteen status bits (function 01, coils 0..14)");
    di->add_flag("--register", o.bitsByRegister, "read them as holding register 0 (function 03)");
    std::map<CLI::App*, SystemMode> modeCommands;
    modeCommands[app.add_subcommand("manual", "manual operation (coil 200 on)")] =
        SystemMode::Manual;
    modeCommands[app.add_subcommand("auto", "automatic operation (coil 200 off)")] =
        SystemMode::Automatic;
    modeCommands[app.add_subcommand("float", "float charge (coil 201 on)")] =
        SystemMode::FloatCharge;
    modeCommands[app.add_subcommand("equalize", "equalize charge (coil 201 off)")] =
        SystemMode::EqualizeCharge;

    CLI::App* module = app.add_subcommand(
        "module", "rectifier module N (0..20): on | off | voltage V (0..300) | current P (0..110)");
    std::string setting;
    std::vector<std::string> value;
    module->add_option("N", o.module, "module number")
        ->required()
        ->check(kDecimalDigits)
        ->check(CLI::Range(0, kMaxModule));
    module->add_option("SETTING", setting, "on, off, voltage, current")
        ->required()
        ->check(CLI::IsMember({"on", "off", "voltage", "current"}));
    module->add_option("VALUE", value, "volts (voltage) or percent (current)");

    RawArgs raw;
    AddRawOptions(app, raw);
    CLI::App* watch =
        app.add_subcommand("watch", "repeat the reads: ai (default), di, all or read TABLE ...");
    CLI::App* watchRead = watch->add_subcommand("read", "a raw read of any device, as read does");
    AddReadArguments(*watchRead, raw);
    std::string scope = "ai";
    watch->add_option("WHAT", scope, "ai, di or all")->check(CLI::IsMember({"ai", "di", "all"}));
    watch->add_option("--interval", o.intervalSeconds, "seconds between scans (0: at once)")
        ->check(CLI::Range(0.0, 86400.0))
        ->capture_default_str();
    watch->add_option("--count", o.count, "scans to make (0: until SIGINT or SIGTERM)")
        ->check(kDecimalDigits)
        ->check(CLI::Range(0LL, 1000000000000LL));
    watch->add_option("--output", o.output,
                      "append the records to FILE (prometheus: rewrite FILE after every scan)");

    CLI::App* ports =
        app.add_subcommand("ports", "list the serial ports in COMn order, with their details");
    CLI::App* doctor =
        app.add_subcommand("doctor", "check the port, this computer and one read of the unit");
    CLI::App* scan = app.add_subcommand(
        "scan", "find the unit's baud rate and address (register 0 at each of 1..254)");
    scan->add_flag("--fast", o.scanFast, "9600 and 19200 first, then the others from the highest");
    scan->add_flag("--all", o.scanAll, "go on after the first unit found");
    CLI::App* serve = AddServeCommand(app, o);

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
    o.format = kFormats.at(format);
    ParseEchoMode(echo.c_str(), o.echo);
    o.confirm = !noConfirm;

    if (ai->parsed()) {
        o.action = Action::ReadAnalog;
    } else if (di->parsed()) {
        o.action = Action::ReadBits;
    } else if (module->parsed()) {
        o.action = Action::Module;
        UnitCommand command;
        const std::string why = MakeModuleCommand(o.module, setting, value, &command);
        if (!why.empty()) {
            return Refuse(err, why);
        }
        o.setting = command.setting;
        o.setpoint = command.setpoint;
    } else if (raw.read->parsed() || raw.write->parsed()) {
        o.action = raw.read->parsed() ? Action::RawRead : Action::RawWrite;
        const std::string why =
            o.action == Action::RawRead ? MakeRawRead(raw, o.raw) : MakeRawWrite(raw, o.writePdu);
        if (!why.empty()) {
            return Refuse(err, std::string(raw.read->parsed() ? "read" : "write") + ": " + why);
        }
        o.referenceHint = ReferenceHint(raw);
    } else if (ports->parsed()) {
        o.action = Action::Ports;
    } else if (doctor->parsed()) {
        o.action = Action::Doctor;
    } else if (scan->parsed()) {
        o.action = Action::Scan;
    } else if (serve->parsed()) {
        o.action = Action::Serve;
        const std::string why = FinishServeOptions(app, o);
        if (!why.empty()) {
            return Refuse(err, "serve: " + why);
        }
    } else if (watch->parsed()) {
        o.action = Action::Watch;
        o.scope = scope == "di"    ? WatchScope::Bits
                  : scope == "all" ? WatchScope::All
                                   : WatchScope::Analog;
        if (watchRead->parsed()) {
            o.scope = WatchScope::Raw;
            std::string why = MakeRawRead(raw, o.raw);
            if (why.empty() && o.format == OutputFormat::Prometheus &&
                !IsBitTable(o.raw.table) && o.raw.type == RawType::Ascii) {
                why = "--type ascii is text, which Prometheus samples cannot hold";
            }
            if (!why.empty()) {
                return Refuse(err, "watch read: " + why);
            }
            o.referenceHint = ReferenceHint(raw);
        }
        if (o.format == OutputFormat::Prometheus && o.output.empty()) {
            return Refuse(err, "--format prometheus needs --output FILE");
        }
    } else {
        for (const auto& [command, mode] : modeCommands) {
            if (command->parsed()) {
                o.action = Action::SystemMode;
                o.mode = mode;
            }
        }
    }
    if (o.slave == 255 && !IsMbapPortName(o.port)) {
        return Refuse(err, "--slave 255 is a Modbus TCP unit id: only with --port mbtcp://");
    }
    // Every slave of an RTU line takes a request to address 0 and none may
    // answer it: a write can be broadcast, but a read, and the unit's commands
    // that are confirmed by their reply and a read-back, would wait for nothing.
    o.broadcast = o.slave == 0 && !IsMbapPortName(o.port);
    if (o.broadcast && o.action != Action::RawWrite) {
        return Refuse(err, "--slave 0 is the broadcast address: sent to all units, and no reply "
                           "is expected, so only write can use it");
    }
    if (o.format == OutputFormat::Prometheus && o.action != Action::Watch &&
        o.action != Action::Serve) {
        return Refuse(err, "--format prometheus is for watch --output FILE");
    }
    return -1;
}
