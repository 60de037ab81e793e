#include "cli/ServeCommand.h"

#include "link/TcpAddress.h"
#include "serve/IpAddress.h"

const char kServeHelp[] =
    "Serving (k40ctl [--port P] serve):\n"
    "  Polls the unit as watch all does and serves HTTP on --listen (default\n"
    "  127.0.0.1:9040; [::1]:9040 and 0.0.0.0:9040 allowed; a port in use: exit 5):\n"
    "    GET /                   the page for a browser: state, measurements, trends,\n"
    "                            status bits, traffic, commands (when allowed)\n"
    "    GET /metrics            Prometheus text: k40_up, k40_analog_value,\n"
    "                            k40_status_bit, k40_scans_total,\n"
    "                            k40_scans_failed_total, k40_last_scan_timestamp_seconds,\n"
    "                            k40_response_seconds (histogram),\n"
    "                            k40_link_failures_total{kind}, k40_build_info,\n"
    "                            k40_alarm{alarm,severity,name}, k40_alarms_active\n"
    "                            {severity}, k40_scan_interval_seconds\n"
    "    GET /api/v1/readings    the last scan as JSON (the schema of --format json)\n"
    "                            with the link's state, the counters and the settings\n"
    "                            and the active alarms with their since\n"
    "    GET /api/v1/history?since=ISO8601\n"
    "                            the scans kept (--history), as JSON Lines, or as CSV\n"
    "                            (watch all's layout) with ?format=csv or Accept: text/csv\n"
    "    GET /api/v1/frames      the last 200 frames, hex\n"
    "    GET /api/v1/events      Server-Sent Events: scan, link, frame, command\n"
    "    POST /api/v1/command    {\"command\":\"manual\"} (auto, float, equalize) or\n"
    "                            {\"command\":\"module\",\"module\":3,\"action\":\"voltage\",\n"
    "                            \"value\":234.1} (current, on, off), run between scans\n"
    "    GET /probe?target=T&slave=N   with --probe: one scan of the unit at T\n"
    "  Commands are refused (403) without --allow-commands; listening beyond\n"
    "  loopback, --allow-commands needs --token-file (a secret of 128 bits or more,\n"
    "  readable by its owner only) and every command Authorization: Bearer TOKEN\n"
    "  (otherwise 401). A command with another site's Origin, and any request\n"
    "  whose Host is not the server's own name (the listen address, localhost on\n"
    "  loopback, the address connected to on a wildcard listen, --host-name), get\n"
    "  403, as do a probe, an API call or a command from another site's page\n"
    "  (Sec-Fetch-Site, Origin). --read-token-file FILE: every path but the\n"
    "  page's own files needs Authorization: Bearer (that token or the command\n"
    "  token). Without --port, serve --probe is a fleet exporter alone; beyond\n"
    "  loopback --probe needs --probe-target or --probe-port. SIGINT and SIGTERM\n"
    "  end it. k40ctl token FILE writes a new secret for these files.\n"
    "  --history-file FILE appends every scan to FILE as watch all --format json\n"
    "  writes it, and at start reads the newest back into the history (at most\n"
    "  86400, none older than --history; a last line a crash cut short is cut\n"
    "  off; a file of other lines is refused).\n"
    "  With --history-file, SIGHUP reopens FILE (log rotation); without it, SIGHUP\n"
    "  ends serve.\n"
    "\n";

namespace {

// A listen address that does not parse is refused when serve starts, with
// the reason; here it counts as beyond loopback.
bool IsLoopbackListen(const std::string& listen) {
    TcpAddress address;
    std::string why;
    return ParseHostPort(listen, true, address, why) && IsLoopbackHost(address.host);
}

}  // namespace

CLI::App* AddServeCommand(CLI::App& app, CtlOptions& o) {
    CLI::App* serve = app.add_subcommand(
        "serve", "HTTP: Prometheus exporter, JSON API, events, commands, multi-target probe");
    ServeArgs& s = o.serve;
    serve->add_option("--listen", s.listen, "HOST:PORT to listen on ([::1]:9040 for IPv6)")
        ->capture_default_str();
    serve->add_option("--interval", o.watch.intervalSeconds, "seconds between scans")
        ->check(CLI::Range(0.0, 86400.0))
        ->capture_default_str();
    serve->add_option("--history", s.history,
                      "how long scans are kept in memory: 24h, 90m, 3600s (at most 86400 scans)")
        ->capture_default_str();
    serve->add_flag("--allow-commands", s.allowCommands,
                    "accept POST /api/v1/command (off by default)");
    serve->add_option("--token-file", s.tokenFile,
                      "the secret every command must carry as Authorization: Bearer");
    serve->add_option("--read-token-file", s.readTokenFile,
                      "a secret every read but the page's own files must carry as "
                      "Authorization: Bearer (the command token also reads)");
    serve->add_option("--host-name", s.hostNames,
                      "a name this server is reached by (Host header), repeatable");
    serve->add_flag("--probe", s.probe, "serve GET /probe?target=T&slave=N");
    serve->add_option("--probe-target", s.probeTargets,
                      "HOST[:PORT] or CIDR a probe may reach (repeatable; none: loopback only)");
    serve->add_option("--probe-port", s.probePorts,
                      "a serial port a probe may open (repeatable)");
    serve->add_option("--history-file", s.historyFile,
                      "append every scan to FILE (JSON Lines of watch all), read back at start");
    serve->add_option("--probe-parallel", s.probeParallel, "probes at once (default 16)")
        ->check(CLI::Range(1, 256))
        ->capture_default_str();
    return serve;
}

std::string FinishServeOptions(const CLI::App& app, CtlOptions& o) {
    ServeArgs& s = o.serve;
    s.pollsUnit = app.get_option("--port")->count() > 0 || !s.probe;
    if (!s.probe && (!s.probeTargets.empty() || !s.probePorts.empty())) {
        return "--probe-target and --probe-port go with --probe";
    }
    if (!s.historyFile.empty() && !s.pollsUnit) {
        return "--history-file needs --port: a fleet exporter keeps no history";
    }
    if (s.probe && s.probeTargets.empty() && s.probePorts.empty() && !IsLoopbackListen(s.listen)) {
        return "--probe on " + s.listen +
               " (beyond loopback) needs --probe-target or --probe-port: by default a probe "
               "reaches every port of this host's loopback, which whoever reaches the server "
               "must not scan";
    }
    if (s.allowCommands && !s.pollsUnit) {
        return "--allow-commands needs --port: a fleet exporter sends no commands";
    }
    if (s.allowCommands && s.tokenFile.empty() && !IsLoopbackListen(s.listen)) {
        return "--allow-commands on " + s.listen +
               " (beyond loopback) needs --token-file FILE";
    }
    for (const std::string& p : s.probePorts) {
        if (s.pollsUnit && p == o.port) {
            return "--probe-port " + p + " is the port this serve polls";
        }
    }
    if (o.format != OutputFormat::Table) {
        return "serve has no --format: its formats are its paths";
    }
    return {};
}
