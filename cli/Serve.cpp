#include "cli/Serve.h"

#include <cstdio>
#include <memory>
#include <thread>

#include "cli/StopSignal.h"
#include "link/TcpAddress.h"
#include "master/LinkLog.h"
#include "serve/HistoryFile.h"
#include "serve/HttpServer.h"
#include "serve/IpAddress.h"
#include "serve/ServeApp.h"
#include "serve/ServeOptions.h"
#include "serve/TimeText.h"

namespace {

int Refuse(const std::string& why) {
    std::fprintf(stderr, "k40ctl: serve: %s\n", why.c_str());
    return kExitUsage;
}

// The probe's targets and how it talks to them. 0 when they hold, else the
// exit status (reason said).
int ReadProbeOptions(const CtlOptions& o, ServeOptions* s) {
    std::string why;
    s->probe = o.serve.probe;
    SetServedPort(o.serve.pollsUnit ? o.port : std::string(), static_cast<std::uint32_t>(o.waitMs),
                  &s->probeRules);
    s->probeRules.loopbackByDefault = IsLoopbackHost(s->listen.host);
    for (const std::string& t : o.serve.probeTargets) {
        if (!AddProbeTarget(t, &s->probeRules, &why)) {
            return Refuse("--probe-target " + t + ": " + why);
        }
    }
    for (const std::string& p : o.serve.probePorts) {
        if (!AddProbePort(p, &s->probeRules, &why)) {
            return Refuse("--probe-port " + p + ": " + why);
        }
    }
    s->prober.line = o.line;
    s->prober.echo = o.echo;
    s->prober.waitMs = o.waitMs;
    s->prober.parallel = o.serve.probeParallel;
    return 0;
}

// The command line's serve options as the server's settings: the listen
// address, the token, the probe's targets, the history. 0 when they hold,
// else the exit status (reason said).
int ReadServeOptions(const CtlOptions& o, ServeOptions* s) {
    std::string why;
    if (!ParseHostPort(o.serve.listen, true, s->listen, why)) {
        return Refuse("--listen " + o.serve.listen + ": " + why);
    }
    if (s->listen.host == "localhost") {
        s->listen.host = "127.0.0.1";
    }
    s->hostNames = o.serve.hostNames;
    s->access.allowCommands = o.serve.allowCommands;
    s->access.confirm = o.confirm;
    s->access.confirmWindowMs = o.waitMs;
    if (!o.serve.tokenFile.empty() && !LoadTokenFile(o.serve.tokenFile, &s->access.token, &why)) {
        return Refuse(why);
    }
    if (!o.serve.readTokenFile.empty() &&
        !LoadTokenFile(o.serve.readTokenFile, &s->access.readToken, &why)) {
        return Refuse(why);
    }
    if (o.serve.allowCommands && s->access.token.empty() && !IsLoopbackHost(s->listen.host)) {
        return Refuse("--allow-commands on " + o.serve.listen + " needs --token-file FILE");
    }
    if (o.serve.probe) {
        if (const int refused = ReadProbeOptions(o, s); refused != 0) {
            return refused;
        }
    }
    if (!ParseKeepDuration(o.serve.history, &s->history)) {
        return Refuse("--history " + o.serve.history + " is no duration such as 24h, 90m, 3600s");
    }
    s->pollsUnit = o.serve.pollsUnit;
    s->intervalSeconds = o.watch.intervalSeconds;
    s->historyFile = o.serve.historyFile;
    return 0;
}

// The history file opened and its newest scans restored into the history:
// those of --history, a day's most at the longest. 0 when it holds, else the
// exit status (reason said).
int OpenHistoryFile(const ServeOptions& s, ServeState& state, HistoryFile& file) {
    const TailWanted wanted{ScanHistory::kMostScans, std::chrono::system_clock::now() - s.history};
    HistoryLoad load;
    std::string why;
    if (!file.Open(wanted, [&state](const ReadRecord& r) { state.Restore(r); }, &load, &why)) {
        std::fprintf(stderr, "k40ctl: serve: %s\n", why.c_str());
        return load.otherLayout ? kExitUsage : kExitFailure;
    }
    if (load.cutBytes > 0) {
        std::fprintf(stderr,
                     "k40ctl: serve: the last line of %s was cut short (%llu bytes, a write that "
                     "did not end): skipped and cut off\n",
                     s.historyFile.c_str(), static_cast<unsigned long long>(load.cutBytes));
    }
    std::fprintf(stderr, "k40ctl: serve: %zu scans read back from %s\n", load.scans,
                 s.historyFile.c_str());
    return 0;
}

ServeSnapshot Base(const CtlOptions& o, const ServeOptions& s) {
    ServeSnapshot base;
    base.port = o.port;
    base.slave = o.slave;
    base.intervalSeconds = s.intervalSeconds;
    base.waitMs = o.waitMs;
    base.commandsAllowed = s.access.allowCommands;
    base.commandsNeedToken = !s.access.token.empty();
    base.version = K40_VERSION;
    return base;
}

}  // namespace

int RunServe(const CtlOptions& o, UnitLink& link) {
    ServeOptions s;
    if (const int refused = ReadServeOptions(o, &s); refused != 0) {
        return refused;
    }
    std::unique_ptr<Prober> prober;
    if (s.probe) {
        prober = std::make_unique<Prober>(s.probeRules, s.prober);
    }
    std::unique_ptr<Poller> poller;
    std::unique_ptr<ServeState> state;
    std::unique_ptr<HistoryFile> historyFile;
    std::string why;
    if (s.pollsUnit) {
        poller = std::make_unique<Poller>(PollPlan{ScanScope::All, {}, s.intervalSeconds, 0}, link,
                                          StopRequested);
        if (!poller->Open(&why)) {
            std::fprintf(stderr, "k40ctl: %s\n", why.c_str());
            return kExitPort;
        }
        state = std::make_unique<ServeState>(link, Base(o, s), s.history);
        poller->AddSink(state.get());
        if (!s.historyFile.empty()) {
            historyFile = std::make_unique<HistoryFile>(s.historyFile, ReopenRequested, stderr);
            if (const int refused = OpenHistoryFile(s, *state, *historyFile); refused != 0) {
                return refused;
            }
            poller->AddSink(historyFile.get());
        }
    }
    ServeApp app(s.access, state.get(), poller.get(), prober.get());
    HttpServer server(app);
    if (!server.Listen(s.listen.host, s.listen.port, &why)) {
        std::fprintf(stderr, "k40ctl: serve: cannot listen on %s\n", why.c_str());
        return kExitPort;
    }
    s.listen.port = static_cast<std::uint16_t>(server.Port());
    app.SetHosts(MakeAllowedHosts(s.listen.host, s.listen.port, s.hostNames));
    app.SetServerRefusals([&server] { return server.Refused(); });
    CatchStopSignals(s.historyFile.empty() ? HangUp::Stops : HangUp::Reopens);
    server.Start(2);
    std::fprintf(stderr, "k40ctl: serving http://%s/\n", FormatHostPort(s.listen).c_str());
    int result = kExitReply;
    if (poller) {
        LinkLog log(link, stderr);
        poller->AddSink(&log);
        result = poller->Run() == PollOutcome::SinkFailed ? kExitFailure : kExitReply;
    } else {
        while (!StopRequested()) {
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
    }
    server.Stop();
    return result;
}
