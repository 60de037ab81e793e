#include "sim/SimOptions.h"

#include <CLI/CLI.hpp>
#include <cerrno>
#include <cstdlib>

#include "link/TcpAddress.h"

namespace {

const char kHelp[] =
    "Usage: k40sim [options]\n"
    "A simulated HCU-K40 monitoring unit: a Modbus RTU slave on a pseudo-terminal\n"
    "(or a serial line) that answers the requests of the commissioning program.\n"
    "\n"
    "Options:\n"
    "  --link PATH          make PATH a symbolic link to the pseudo-terminal (removed on exit);\n"
    "                       refused while another k40sim that still runs has its link there\n"
    "  --device PATH        serve a real serial line (raw 8N1) instead of a pseudo-terminal\n"
    "  --listen [HOST:]PORT serve over TCP as a serial device server in raw TCP server\n"
    "                       mode does (RTU frames unchanged, \"RTU over TCP\"), one client\n"
    "                       at a time, on 127.0.0.1 unless HOST is given (a name, an IPv4\n"
    "                       address or [IPv6]); PORT 0: the system chooses. Clients name\n"
    "                       it tcp://HOST:PORT, e.g. K40_COM1=tcp://127.0.0.1:5020\n"
    "  --listen-mbtcp [HOST:]PORT\n"
    "                       the same as a Modbus TCP device: requests and replies in\n"
    "                       MBAP frames, the unit id as slave address; clients name it\n"
    "                       mbtcp://HOST:PORT (mbpoll -m tcp -p PORT HOST)\n"
    "  --slave N            slave address, 1..254 (default 1)\n"
    "  --baud B             device: line speed (default 9600); pseudo-terminal and TCP:\n"
    "                       send and take requests at the pace of a line at B baud, 10 bits a\n"
    "                       character (11 with parity, 12 with parity and 2 stop bits),\n"
    "                       with a 3.5-character pause before each reply (default: as\n"
    "                       fast as possible); a request that the master sent at another\n"
    "                       rate (the one it set on its side of the pseudo-terminal) is\n"
    "                       not answered and is logged as garbled, as a real unit at B\n"
    "                       baud would hear noise\n"
    "  --parity none|even|odd\n"
    "                       the line's parity (default none; 8 data bits always); on a\n"
    "                       pseudo-terminal a request sent with another parity is garbled\n"
    "  --stop-bits 1|2      the line's stop bits (default 1)\n"
    "  --adapter-echo       the line echoes: every byte the master sends comes back to it\n"
    "                       at once, ahead of any reply, as from a two-wire RS-485\n"
    "                       adapter that listens to its own transmission\n"
    "  --reply-delay MS     wait MS ms before each reply; with the late fault, before the\n"
    "                       late replies only (late without it: 2000 ms)\n"
    "  --fault KIND[:PCT]   put a fault on PCT % of the replies (default 100); repeatable.\n"
    "                       KIND: silent (no reply, request lost), exception (busy,\n"
    "                       exception 06), corrupt (bad CRC), noise (1-8 junk bytes ahead),\n"
    "                       split (2-4 pieces, 2-8 ms apart), late (after the reply delay),\n"
    "                       partial-echo (the adapter's copy of the request is one byte\n"
    "                       short; implies --adapter-echo), wrong-slave (the reply comes\n"
    "                       from another address, with a correct CRC), ignore (writes\n"
    "                       05 and 06 are acknowledged but change nothing)\n"
    "  --seed N             seed of the drift and of the faults (default 1)\n"
    "  --static             measurements stay at their nominal values (no drift)\n"
    "  --status HEX         initial status bits 0..14, e.g. 0x0002 (the default: automatic\n"
    "                       operation, float charge)\n"
    "  --event ID@START[+DURATION]\n"
    "                       raise a status bit at START and clear it after DURATION (never\n"
    "                       without one); repeatable. Times count from the start, as the\n"
    "                       trace's do: 500ms, 30s, 2m, 1h. ID: an alarm, critical:\n"
    "                       ac_power_failure (14), ac_input_breaker_trip (12),\n"
    "                       battery_fuse_blown (10), bus_voltage_abnormal (7),\n"
    "                       battery_voltage_abnormal (8), feeder_trip (11); warning:\n"
    "                       insulation_drop (2), cell_voltage_abnormal (3),\n"
    "                       module_comm_offline (4), insulation_meter_offline (5),\n"
    "                       battery_meter_offline (6), charge_overcurrent (9),\n"
    "                       surge_protector_fault (13); or a mode: manual (bit 0 to 1),\n"
    "                       equalize (bit 1 to 0). Coil writes to 200 and 201 during an\n"
    "                       event change the mode bits as always. ac_power_failure also\n"
    "                       moves the measurements, with or without --static: the AC\n"
    "                       inputs read 0.2 V, the battery current is minus the load\n"
    "                       current, the battery and bus voltages sag 0.2 V a second (at\n"
    "                       most 25 V); all return to normal when it clears.\n"
    "                       e.g. --event ac_power_failure@5s+20s --event manual@1m\n"
    "  --trace FILE         write one line per request to FILE (see below)\n"
    "  --quiet              no request log on stderr\n"
    "  -h, --help           this text\n"
    "\n"
    "The path of the pseudo-terminal (or the device), or with --listen the address as\n"
    "tcp://HOST:PORT (--listen-mbtcp: mbtcp://HOST:PORT) with the port chosen, is\n"
    "printed on stdout, one line.\n"
    "SIGINT or SIGTERM ends the program (exit 0). Exit 1: the line could not be\n"
    "opened; exit 2: bad command line.\n"
    "\n"
    "Register map: coils 0..14 status bits; coils 200 (1 = manual) and 201 (1 = float)\n"
    "written with FF00/0000 set status bits 0 and 1; holding register 0 the status\n"
    "word; holding 100..108 the nine measurements, raw = round((v / 500 + 1) * 32767);\n"
    "holding 310 + 3m, 311 + 3m, 312 + 3m (m = 0..20) voltage code, current-limit code,\n"
    "on/off (0000 on, FF00 off), written with function 06.\n"
    "\n"
    "Trace lines, fields separated by one space, '-' for an empty field:\n"
    "  SEQ T_MS REQUEST OUTCOME CODE FAULTS FRAME JUNK DELAY_MS\n"
    "  SEQ       requests counted from 1, every frame found on the line\n"
    "  T_MS      ms since the start when the request was complete, e.g. 1520.113\n"
    "  REQUEST   the request in hex, e.g. 010300640009C413\n"
    "  OUTCOME   reply | exception | silent (fault: not executed, no reply) |\n"
    "            ignored (another address or broadcast: no reply) |\n"
    "            garbled (sent at another baud rate than --baud: no reply)\n"
    "  CODE      exception code in hex (01, 02, 03; 06 from the exception fault)\n"
    "  FAULTS    faults applied, comma-separated: silent,exception,corrupt,noise,split,late,\n"
    "            partial-echo,wrong-slave,ignore\n"
    "  FRAME     the reply frame as sent (with corrupt: with its bad CRC)\n"
    "  JUNK      the noise bytes sent ahead of the frame\n"
    "  DELAY_MS  wait before the reply\n"
    "Lines starting with '#' are comments. Each line is flushed when written.\n";

// A whole number as strtoull reads it in BASE (base 16 with or without 0x),
// without a sign, at most MAX.
bool ParseNumber(const std::string& text, int base, std::uint64_t max, std::uint64_t& value) {
    if (text.empty() || text[0] == '-' || text[0] == '+') {
        return false;
    }
    errno = 0;
    char* end = nullptr;
    const unsigned long long v = std::strtoull(text.c_str(), &end, base);
    if (errno != 0 || end == text.c_str() || *end != '\0' || v > max) {
        return false;
    }
    value = v;
    return true;
}

// A number MIN..MAX written in BASE: refused, or rewritten in decimal for
// CLI11 to store in the option's variable.
CLI::Validator Number(std::uint64_t min, std::uint64_t max, int base = 10) {
    return CLI::Validator(
        [=](std::string& text) {
            std::uint64_t value = 0;
            if (!ParseNumber(text, base, max, value) || value < min) {
                return text + " is not a number in " + std::to_string(min) + ".." +
                       std::to_string(max);
            }
            text = std::to_string(value);
            return std::string();
        },
        "NUMBER");
}

// [HOST:]PORT: a port alone (or ":PORT") listens on the loopback address only.
const CLI::Validator kListenAddress(
    [](std::string& text) {
        if (text.find_first_not_of("0123456789") == std::string::npos) {
            text = "127.0.0.1:" + text;
        } else if (text[0] == ':') {
            text = "127.0.0.1" + text;
        }
        TcpAddress address;
        std::string error;
        return ParseHostPort(text, true, address, error) ? std::string() : error;
    },
    "[HOST:]PORT");

// The words of --parity and --fault, refused with what they may be.
const CLI::Validator kParity(
    [](std::string& text) {
        Parity parity = Parity::None;
        return ParseParity(text, parity) ? std::string() : text + " is not none, even or odd";
    },
    "none|even|odd");

const CLI::Validator kFault(
    [](std::string& text) {
        FaultSpec fault;
        return ParseFault(text, fault)
                   ? std::string()
                   : text +
                         " is not KIND[:PERCENT] with KIND silent, exception, corrupt, noise, "
                         "split, late, partial-echo, wrong-slave or ignore and PERCENT 0..100";
    },
    "KIND[:PCT]");

const CLI::Validator kEvent(
    [](std::string& text) {
        ScenarioEvent event;
        std::string error;
        return ParseSimEvent(text, &event, &error) ? std::string() : error;
    },
    "ID@START[+DURATION]");

// A fault given, in its place after the others. Checked by kFault.
void AddFault(SimOptions& options, const std::string& text) {
    FaultSpec fault;
    ParseFault(text, fault);
    options.engine.faults.push_back(fault);
    if (fault.kind == FaultKind::PartialEcho) {
        options.adapterEcho = true;  // only an echoing line can echo short
    }
}

// The line, the listener and the output.
void AddLineOptions(CLI::App& app, SimOptions& options) {
    app.add_flag("-h,--help", options.help);
    app.add_option("--link", options.linkPath);
    app.add_option("--device", options.devicePath);
    // Of --listen and --listen-mbtcp the one given last counts: each is taken
    // as it comes on the line (trigger_on_parse), not after the whole line.
    auto listen = [&options](bool mbtcp) {
        return [&options, mbtcp](const std::string& address) {
            options.listenAddress = address;
            options.mbtcp = mbtcp;
        };
    };
    app.add_option_function<std::string>("--listen", listen(false))
        ->transform(kListenAddress)
        ->trigger_on_parse();
    app.add_option_function<std::string>("--listen-mbtcp", listen(true))
        ->transform(kListenAddress)
        ->trigger_on_parse();
    app.add_option("--baud", options.baud)->transform(Number(50, 4000000));
    app.add_option_function<std::string>(
           "--parity", [&options](const std::string& word) { ParseParity(word, options.parity); })
        ->check(kParity);
    app.add_option("--stop-bits", options.stopBits)->transform(Number(1, 2));
    app.add_flag("--adapter-echo", options.adapterEcho);
    app.add_option("--trace", options.tracePath);
    app.add_flag("--quiet", options.quiet);
}

// The unit: its address, its values and its faults.
void AddUnitOptions(CLI::App& app, SimOptions& options) {
    SimEngineConfig& engine = options.engine;
    app.add_option("--slave", engine.slaveAddr)->transform(Number(1, 254));
    app.add_option("--reply-delay", engine.replyDelayMs)->transform(Number(0, 600000));
    // Repeatable: every one given, each as it comes.
    app.add_option_function<std::string>(
           "--fault", [&options](const std::string& text) { AddFault(options, text); })
        ->check(kFault)
        ->trigger_on_parse();
    app.add_option_function<std::string>("--event",
                                         [&engine](const std::string& text) {
                                             ScenarioEvent event;
                                             std::string error;
                                             ParseSimEvent(text, &event, &error);
                                             engine.events.push_back(event);
                                         })
        ->check(kEvent)
        ->trigger_on_parse();
    app.add_option("--seed", engine.seed)->transform(Number(0, UINT64_MAX));
    app.add_flag_callback("--static", [&engine] { engine.drift = false; });
    app.add_option("--status", engine.status)->transform(Number(0, 0x7FFF, 16));
}

// What no single option can check.
bool CheckTogether(const SimOptions& options, std::string& error) {
    if (options.mbtcp && options.adapterEcho) {
        error = "--adapter-echo and partial-echo are a serial line's: not with --listen-mbtcp";
        return false;
    }
    if (!options.listenAddress.empty() &&
        (!options.devicePath.empty() || !options.linkPath.empty())) {
        error = "--listen and --listen-mbtcp serve TCP: they go with neither --device nor --link";
        return false;
    }
    return true;
}

}  // namespace

const char* CSimOptions::HelpText() {
    return kHelp;
}

bool CSimOptions::Parse(int argc, const char* const* argv, SimOptions& options,
                        std::string& error) {
    CLI::App app("A simulated HCU-K40 monitoring unit", "k40sim");
    // -h and --help are an option like the others: main prints kHelp, which
    // says more than CLI11's generated help would.
    app.set_help_flag();
    // An option given twice: the last one counts (all are checked). A flag
    // takes no value: "--quiet=false" is refused, not read as "not quiet".
    app.option_defaults()->multi_option_policy(CLI::MultiOptionPolicy::TakeLast);
    app.option_defaults()->disable_flag_override();
    AddLineOptions(app, options);
    AddUnitOptions(app, options);
    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& e) {
        error = e.what();
        return false;
    }
    return CheckTogether(options, error);
}
