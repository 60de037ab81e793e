#include "cli/serve/Serve.h"

#include <cstdio>
#include <memory>
#include <thread>

#include "cli/StopSignal.h"
#include "cli/poll/WatchSinks.h"
#include "cli/serve/HttpServer.h"
#include "cli/serve/ServeApp.h"
#include "cli/serve/TimeText.h"
#include "link/TcpAddress.h"

namespace {

int Refuse(const std::string& why) {
    std::fprintf(stderr, "k40ctl: serve: %s\n", why.c_str());
    return kExitUsage;
}

bool IsLoopback(const std::string& host) {
    return host == "::1" || host.rfind("127.", 0) == 0;
}

// The settings that only serve checks: the listen address, the token, the
// probe's targets. 0 when they hold, else the exit status (reason said).
int Prepare(const CtlOptions& o, TcpAddress* listen, ServeAccess* access,
            std::unique_ptr<Prober>* prober) {
    std::string why;
    if (!ParseHostPort(o.serve.listen, true, *listen, why)) {
        return Refuse("--listen " + o.serve.listen + ": " + why);
    }
    if (listen->host == "localhost") {
        listen->host = "127.0.0.1";
    }
    access->allowCommands = o.serve.allowCommands;
    access->confirm = o.confirm;
    access->confirmWindowMs = o.waitMs;
    if (!o.serve.tokenFile.empty() &&
        !LoadTokenFile(o.serve.tokenFile, &access->token, &why)) {
        return Refuse(why);
    }
    if (o.serve.allowCommands && access->token.empty() && !IsLoopback(listen->host)) {
        return Refuse("--allow-commands on " + o.serve.listen + " needs --token-file FILE");
    }
    if (o.serve.probe) {
        ProbeRules rules;
        rules.servedPort = o.serve.pollsUnit ? o.port : std::string();
        for (const std::string& t : o.serve.probeTargets) {
            if (!AddProbeTarget(t, &rules, &why)) {
                return Refuse("--probe-target " + t + ": " + why);
            }
        }
        for (const std::string& p : o.serve.probePorts) {
            if (!AddProbePort(p, &rules, &why)) {
                return Refuse("--probe-port " + p + ": " + why);
            }
        }
        ProberSettings settings;
        settings.line = LineOf(o);
        settings.echo = o.echo;
        settings.waitMs = o.waitMs;
        settings.parallel = o.serve.probeParallel;
        *prober = std::make_unique<Prober>(std::move(rules), settings);
    }
    return 0;
}

ServeSnapshot Base(const CtlOptions& o, const ServeAccess& access) {
    ServeSnapshot base;
    base.port = o.port;
    base.slave = o.slave;
    base.intervalSeconds = o.intervalSeconds;
    base.waitMs = o.waitMs;
    base.commandsAllowed = access.allowCommands;
    base.commandsNeedToken = !access.token.empty();
    base.version = K40_VERSION;
    return base;
}

}  // namespace

int RunServe(const CtlOptions& o, UnitLink& link) {
    TcpAddress listen;
    ServeAccess access;
    std::unique_ptr<Prober> prober;
    if (const int refused = Prepare(o, &listen, &access, &prober); refused != 0) {
        return refused;
    }
    std::chrono::seconds keep{};
    if (!ParseKeepDuration(o.serve.history, &keep)) {
        return Refuse("--history " + o.serve.history + " is no duration such as 24h, 90m, 3600s");
    }
    std::unique_ptr<Poller> poller;
    std::unique_ptr<ServeState> state;
    std::string why;
    if (o.serve.pollsUnit) {
        poller = std::make_unique<Poller>(PollPlan{WatchScope::All, {}, o.intervalSeconds, 0},
                                          link);
        if (!poller->Open(&why)) {
            std::fprintf(stderr, "k40ctl: %s\n", why.c_str());
            return kExitPort;
        }
        state = std::make_unique<ServeState>(link, Base(o, access), keep);
        poller->AddSink(state.get());
    }
    ServeApp app(access, state.get(), poller.get(), prober.get());
    HttpServer server(app);
    if (!server.Listen(listen.host, listen.port, &why)) {
        std::fprintf(stderr, "k40ctl: serve: cannot listen on %s\n", why.c_str());
        return kExitPort;
    }
    listen.port = static_cast<std::uint16_t>(server.Port());
    app.SetHosts(MakeAllowedHosts(listen.host, listen.port, o.serve.hostNames));
    app.SetServerRefusals([&server] { return server.Refused(); });
    CatchStopSignals(HangUp::Stops);
    server.Start(2);
    std::fprintf(stderr, "k40ctl: serving http://%s/\n", FormatHostPort(listen).c_str());
    int result = kExitReply;
    if (poller) {
        LogSink log(link, false);
        poller->AddSink(&log);
        result = poller->Run();
    } else {
        while (!StopRequested()) {
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
    }
    server.Stop();
    return result;
}
