#include "cli/CtlOptions.h"

#include <CLI/CLI.hpp>
#include <cmath>
#include <map>
#include <sstream>

namespace {

const char kFooter[] =
    "Subcommand options:\n"
    "  di --register          read the status bits as holding register 0 (function 03)\n"
    "  watch [ai|di|all]      repeat the reads; on a terminal with --format table a live\n"
    "                         view, otherwise one record a scan, flushed when written\n"
    "    --interval SECONDS   time from one scan's start to the next (default 1; 0: at once)\n"
    "    --count N            end after N scans (default: until SIGINT or SIGTERM)\n"
    "    --output FILE        append the records to FILE (CSV: a header only into an empty\n"
    "                         file); with --format prometheus, rewrite FILE atomically\n"
    "                         after every scan for node_exporter's textfile collector\n"
    "  A watch reopens a vanished device every second and ends after the current\n"
    "  exchange on SIGINT or SIGTERM; the counts go to standard error.\n"
    "\n"
    "  ports                  list the serial ports in COMn order (nothing is opened):\n"
    "                         device, /dev/serial/by-id/ name, USB vendor:product, maker,\n"
    "                         model, serial number, driver; --format table, csv or json\n"
    "\n"
    "Ports:\n"
    "  A port is a device path (/dev/ttyUSB0, or the /dev/serial/by-id/ name that\n"
    "  stays the same when the adapter comes back as another ttyUSB number), COMn, or\n"
    "  tcp://HOST:PORT for a serial device server in raw TCP server mode (RTU frames\n"
    "  through the connection unchanged; HOST a name, an IPv4 address or [IPv6]).\n"
    "  The name lookup and connect are bounded by --wait.\n"
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
    "  k40ctl ports\n";

const std::map<std::string, OutputFormat> kFormats = {{"table", OutputFormat::Table},
                                                      {"csv", OutputFormat::Csv},
                                                      {"json", OutputFormat::Json},
                                                      {"prometheus", OutputFormat::Prometheus}};

int Refuse(std::ostream& err, const std::string& message) {
    err << "k40ctl: " << message << "\n";
    return kExitUsage;
}

}  // namespace

int ParseCtlOptions(int argc, char** argv, CtlOptions& o, std::ostream& out, std::ostream& err) {
    CLI::App app{"k40ctl: the HCU-K40 monitoring unit over Modbus RTU, from the command line",
                 "k40ctl"};
    app.footer(kFooter);
    app.set_version_flag("--version", "k40ctl " K40_VERSION);
    app.require_subcommand(1);
    app.fallthrough();

    app.add_option("--port", o.port,
                   "serial port: a device path, COM1, COM2, ... as in k40tool, or "
                   "tcp://HOST:PORT (see Ports below)")
        ->capture_default_str();
    app.add_option("--baud", o.baud, "line speed")
        ->check(CLI::IsMember({600, 1200, 2400, 4800, 9600, 19200, 38400}))
        ->capture_default_str();
    app.add_option("--slave", o.slave, "slave address")
        ->check(CLI::Range(1, 254))
        ->capture_default_str();
    app.add_option("--wait", o.waitMs, "reply wait in ms")
        ->check(CLI::Range(100, 50000))
        ->capture_default_str();
    std::string format = "table";
    app.add_option("--format", format, "output: table, csv, json (JSON Lines), prometheus")
        ->check(CLI::IsMember({"table", "csv", "json", "prometheus"}))
        ->capture_default_str();
    app.add_flag("--trace", o.trace, "every frame sent and received, as hex, on standard error");

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
        ->check(CLI::Range(0, kMaxModule));
    module->add_option("SETTING", setting, "on, off, voltage, current")
        ->required()
        ->check(CLI::IsMember({"on", "off", "voltage", "current"}));
    module->add_option("VALUE", value, "volts (voltage) or percent (current)");

    CLI::App* watch = app.add_subcommand("watch", "repeat the reads: ai (default), di or all");
    std::string scope = "ai";
    watch->add_option("WHAT", scope, "ai, di or all")->check(CLI::IsMember({"ai", "di", "all"}));
    watch->add_option("--interval", o.intervalSeconds, "seconds between scans (0: at once)")
        ->check(CLI::Range(0.0, 86400.0))
        ->capture_default_str();
    watch->add_option("--count", o.count, "scans to make (0: until SIGINT or SIGTERM)")
        ->check(CLI::Range(0LL, 1000000000000LL));
    watch->add_option("--output", o.output,
                      "append the records to FILE (prometheus: rewrite FILE after every scan)");

    CLI::App* ports =
        app.add_subcommand("ports", "list the serial ports in COMn order, with their details");

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
        err << "k40ctl: " << e.what() << "\n";
        err << "Run with --help for more information.\n";
        return kExitUsage;
    }
    o.format = kFormats.at(format);

    if (ai->parsed()) {
        o.action = Action::ReadAnalog;
    } else if (di->parsed()) {
        o.action = Action::ReadBits;
    } else if (module->parsed()) {
        o.action = Action::Module;
        const bool needsValue = setting == "voltage" || setting == "current";
        if (needsValue != (value.size() == 1) || value.size() > 1) {
            return Refuse(err, needsValue ? "module " + setting + " needs one value"
                                          : "module " + setting + " takes no value");
        }
        if (setting == "on") {
            o.setting = ModuleSetting::On;
        } else if (setting == "off") {
            o.setting = ModuleSetting::Off;
        } else {
            const bool voltage = setting == "voltage";
            const float max = voltage ? kMaxModuleVoltage : kMaxModuleCurrent;
            std::istringstream in(value[0]);
            in.imbue(std::locale::classic());
            float v = 0.0f;
            in >> v;
            if (in.fail() || !in.eof() || !std::isfinite(v) || v < 0.0f || v > max) {
                std::ostringstream range;
                range << "module " << setting << ": " << value[0] << " is not a number in 0.."
                      << max;
                return Refuse(err, range.str());
            }
            o.setting = voltage ? ModuleSetting::Voltage : ModuleSetting::CurrentLimit;
            o.setpoint = v;
        }
    } else if (ports->parsed()) {
        o.action = Action::Ports;
    } else if (watch->parsed()) {
        o.action = Action::Watch;
        o.scope = scope == "di"    ? WatchScope::Bits
                  : scope == "all" ? WatchScope::All
                                   : WatchScope::Analog;
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
    if (o.format == OutputFormat::Prometheus && o.action != Action::Watch) {
        return Refuse(err, "--format prometheus is for watch --output FILE");
    }
    return -1;
}
