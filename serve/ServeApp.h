// serve's routes: what each path answers, the checks every request and every
// command passes, and the command's trip through the poller's queue. No
// sockets here (HttpServer.h) and no link: commands are tasks that
// the poller runs between two scans.
#pragma once

#include <atomic>
#include <memory>
#include <string>

#include "master/Poller.h"
#include "serve/CommandGate.h"
#include "serve/Http.h"
#include "serve/Prober.h"
#include "serve/ServeState.h"
#include "serve/StreamSlots.h"

class ServeApp : public HttpApp {
public:
    // state and poller are null for a fleet exporter (serve --probe without
    // --port); prober is null without --probe.
    ServeApp(ServeAccess access, ServeState* state, Poller* poller, Prober* prober);
    // The names of the server once it listens (its port is known then);
    // before it serves.
    void SetHosts(AllowedHosts hosts) { access_.hosts = std::move(hosts); }
    // The server's own refusals (malformed, too large, too slow, too many
    // connections), counted on /metrics with the routes' own; before it serves.
    void SetServerRefusals(std::function<std::size_t()> count) {
        serverRefused_ = std::move(count);
    }
    void Handle(HttpRequest request, std::function<void(HttpResponse)> respond) override;

    // Requests refused by the checks, by reason ("host", "origin", "token",
    // ...), in Prometheus text, appended to /metrics.
    std::string RefusalsText() const;

private:
    // True with *refusal set when the request may not reach its route.
    bool Refuse(const HttpRequest& request, HttpResponse* refusal);
    HttpResponse Get(const HttpRequest& request);
    void Command(const HttpRequest& request, const std::function<void(HttpResponse)>& respond);

    ServeAccess access_;
    std::function<std::size_t()> serverRefused_;
    ServeState* state_;
    Poller* poller_;
    Prober* prober_;
    std::atomic<bool> commandRunning_{false};
    StreamSlots downloads_{2};  // history downloads at once; 503 beyond
    std::atomic<unsigned long long> refusedHost_{0}, refusedOrigin_{0}, refusedToken_{0},
        refusedCommandsOff_{0};
};
