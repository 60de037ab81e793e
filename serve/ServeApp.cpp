#include "serve/ServeApp.h"

#include <nlohmann/json.hpp>

#include "formats/RecordFormat.h"
#include "master/UnitCommand.h"
#include "serve/ExporterText.h"
#include "serve/PageAsset.h"
#include "serve/ReadingsJson.h"
#include "serve/ServeLog.h"
#include "serve/TimeText.h"
#include "unit/ExceptionText.h"

namespace {

const char kJson[] = "application/json";
// Where the runbooks are served: static pages that a link in an alert opens.
const char kRunbooks[] = "/runbooks/";
constexpr int kDownloadRetrySeconds = 5;
const char kMetrics[] = "text/plain; version=0.0.4; charset=utf-8";

HttpResponse Answer(int status, const char* type, std::string body) {
    HttpResponse r;
    r.status = status;
    r.contentType = type;
    r.body = std::move(body);
    return r;
}

// A file of the page, built into the program.
HttpResponse PageFile(const PageAsset& asset) {
    HttpResponse r = Answer(200, asset.contentType,
                            std::string(reinterpret_cast<const char*>(asset.bytes), asset.size));
    r.headers.emplace_back("ETag", asset.etag);
    r.headers.emplace_back("Content-Security-Policy", PageSecurityPolicy());
    r.headers.emplace_back("Referrer-Policy", "no-referrer");
    r.headers.emplace_back("X-Frame-Options", "DENY");
    return r;
}

bool Wants(const HttpRequest& r, const char* name, const char* value) {
    const auto it = r.query.find(name);
    return it != r.query.end() && it->second == value;
}

// The answer to a command that was sent (or could not be: the port lost):
// {"command","time","outcome":"confirmed"|"not-confirmed"|"no-reply"|
// "exception"|"port-lost","confirmation":"read-back"|"reply","exception":
// {"code","name","name_en"},"diagnosis":{"finding","text"},"response_ms"}.
std::string OutcomeJson(const UnitCommand& command, const CommandResult* result, int waitMs) {
    nlohmann::json answer = {{"command", CommandWords(command)}};
    if (result == nullptr) {
        answer["outcome"] = "port-lost";
        return answer.dump();
    }
    const ReadRecord& r = result->record;
    answer["time"] = Iso8601Local(r.time);
    answer["response_ms"] = r.responseMs ? nlohmann::json(*r.responseMs) : nlohmann::json(nullptr);
    switch (r.outcome) {
        case ReadOutcome::Reply:
            answer["outcome"] = result->unconfirmed.empty() ? "confirmed" : "not-confirmed";
            answer["confirmation"] = result->readBack ? "read-back" : "reply";
            break;
        case ReadOutcome::Exception:
            answer["outcome"] = "exception";
            answer["exception"] = {{"code", r.exceptionCode},
                                   {"name", r.exceptionName},
                                   {"name_en", ExceptionNameEnglish(r.exceptionCode)}};
            break;
        case ReadOutcome::Timeout:
            answer["outcome"] = "no-reply";
            break;
    }
    if (!r.finding.empty()) {
        answer["diagnosis"] = {{"finding", r.finding},
                               {"text", r.outcome == ReadOutcome::Timeout
                                            ? OutcomeMessage(r, waitMs)
                                            : r.diagnosis}};
    }
    return answer.dump();
}

}  // namespace

ServeApp::ServeApp(ServeAccess access, ServeState* state, Poller* poller, Prober* prober)
    : access_(std::move(access)), state_(state), poller_(poller), prober_(prober) {}

void ServeApp::Handle(HttpRequest request, std::function<void(HttpResponse)> respond) {
    if (HttpResponse refusal; Refuse(request, &refusal)) {
        respond(std::move(refusal));
        return;
    }
    if (request.path == "/api/v1/command") {
        if (request.method != "POST") {
            HttpResponse r = TextResponse(405, "use POST");
            r.headers.emplace_back("Allow", "POST");
            respond(std::move(r));
            return;
        }
        Command(request, respond);
        return;
    }
    if (request.method != "GET" && request.method != "HEAD") {
        HttpResponse r = TextResponse(405, "use GET");
        r.headers.emplace_back("Allow", "GET, HEAD");
        respond(std::move(r));
        return;
    }
    if (request.path == "/probe" && prober_ != nullptr) {
        prober_->Handle(request, respond);
        return;
    }
    respond(Get(request));
}

// The checks before any route: the server's own name in Host (DNS rebinding);
// no probe, API call or POST from another site's page (an <img> or a form
// there); the read token where reads are protected. The page's own files and
// the runbooks stay open to a link from anywhere (Prometheus, Alertmanager,
// mail).
bool ServeApp::Refuse(const HttpRequest& request, HttpResponse* refusal) {
    const bool openPath = FindPageAsset(request.path) != nullptr ||
                          request.path.rfind(kRunbooks, 0) == 0;
    const bool guarded = request.path == "/probe" || request.path.rfind("/api/", 0) == 0 ||
                         (request.method != "GET" && request.method != "HEAD");
    std::string why;
    if (!HostAllowed(access_.hosts, request)) {
        ++refusedHost_;
        why = "Host \"" + request.host + "\" is not this server's own name";
        *refusal = TextResponse(403, why);
    } else if (guarded && !FromOwnSite(access_.hosts, request)) {
        ++refusedOrigin_;
        why = request.path + " from another site's page (Sec-Fetch-Site " +
              (request.fetchSite.empty() ? "-" : request.fetchSite) + ", Origin " +
              (request.origin.empty() ? "-" : request.origin) + ")";
        *refusal = TextResponse(403, why);
    } else if (!openPath && !access_.readToken.empty() &&
               !BearerMatches(request.authorization, access_.readToken) &&
               !BearerMatches(request.authorization, access_.token)) {
        ++refusedToken_;
        why = request.path + " needs Authorization: Bearer <token> (--read-token-file)";
        *refusal = TextResponse(401, why);
        refusal->headers.emplace_back("WWW-Authenticate", "Bearer");
    } else {
        return false;
    }
    LogRefusal("k40ctl: " + std::to_string(refusal->status) + " from " + request.remoteAddress +
               ": " + why);
    return true;
}

HttpResponse ServeApp::Get(const HttpRequest& request) {
    const std::string& path = request.path;
    if (path == "/metrics") {
        std::string text = state_ != nullptr ? ExporterText(state_->Snapshot()) : std::string();
        if (prober_ != nullptr) {
            text += prober_->MetricsText(state_ == nullptr);
        }
        return Answer(200, kMetrics, text + RefusalsText());
    }
    // The runbooks are the same for every unit: a fleet exporter serves them too.
    if (path.rfind(kRunbooks, 0) == 0) {
        if (const PageAsset* asset = FindPageAsset(path)) {
            return PageFile(*asset);
        }
    }
    if (state_ == nullptr) {
        return TextResponse(404, "not found: this serve polls no unit (--probe without --port)");
    }
    if (const PageAsset* asset = FindPageAsset(path)) {
        return PageFile(*asset);
    }
    if (path == "/api/v1/readings") {
        return Answer(200, kJson, ReadingsJson(state_->Snapshot()));
    }
    if (path == "/api/v1/frames") {
        return Answer(200, kJson, state_->FramesJson());
    }
    if (path == "/api/v1/history") {
        std::chrono::system_clock::time_point since{};
        const auto s = request.query.find("since");
        if (s != request.query.end() && !ParseIso8601(s->second, &since)) {
            return TextResponse(400, "since=" + s->second +
                                         ": an ISO 8601 time with its UTC offset or Z, "
                                         "such as 2026-12-08T14:03:12+01:00");
        }
        const auto format = request.query.find("format");
        if (format != request.query.end() && format->second != "csv" &&
            format->second != "jsonl") {
            return TextResponse(400, "format=" + format->second + ": csv or jsonl");
        }
        const bool csv = Wants(request, "format", "csv") ||
                         (request.accept.find("text/csv") != std::string::npos &&
                          format == request.query.end());
        HttpResponse r;
        r.contentType = csv ? "text/csv; charset=utf-8" : "application/x-ndjson; charset=utf-8";
        r.stream = downloads_.Start(
            [&] { return state_->History(csv ? HistoryFormat::Csv : HistoryFormat::JsonLines, since); });
        if (!r.stream) {
            r = TextResponse(503, "two history downloads are running; try again in a few seconds");
            r.headers.emplace_back("Retry-After", std::to_string(kDownloadRetrySeconds));
        }
        return r;
    }
    if (path == "/api/v1/events") {
        HttpResponse r;
        r.contentType = "text/event-stream; charset=utf-8";
        r.headers.emplace_back("X-Accel-Buffering", "no");
        r.stream = state_->Events().Subscribe();
        return r;
    }
    return TextResponse(404, "not found: " + path);
}

void ServeApp::Command(const HttpRequest& request,
                       const std::function<void(HttpResponse)>& respond) {
    UnitCommand command;
    const CommandVerdict verdict = poller_ != nullptr ? JudgeCommand(access_, request, &command)
                                                      : CommandVerdict{403, "commands-off",
                                                                       "this serve polls no unit"};
    if (verdict.status != 0) {
        const std::string counted = verdict.reason;
        if (counted == "origin") {
            ++refusedOrigin_;
        } else if (counted == "token") {
            ++refusedToken_;
        } else if (counted == "commands-off") {
            ++refusedCommandsOff_;
        }
        const std::string reason = verdict.reason;
        if (reason == "content-type" || reason == "command") {  // past the token check
            LogAudit({request.remoteAddress, !request.authorization.empty(), "",
                      "refused (" + reason + ")"});
        } else {
            LogRefusal("k40ctl: " + std::to_string(verdict.status) + " from " +
                       request.remoteAddress + ": command refused (" + reason + ")");
        }
        HttpResponse r = verdict.json ? Answer(verdict.status, kJson, verdict.text)
                                      : TextResponse(verdict.status, verdict.text);
        if (verdict.status == 401) {
            r.headers.emplace_back("WWW-Authenticate", "Bearer");
        }
        respond(std::move(r));
        return;
    }
    CommandAudit audit{request.remoteAddress, !request.authorization.empty(),
                       CommandWords(command), ""};
    if (commandRunning_.exchange(true)) {
        audit.outcome = "refused (another command is running)";
        LogAudit(audit);
        respond(TextResponse(409, "another command is running; send this one when it ends"));
        return;
    }
    const ServeAccess& a = access_;
    poller_->Post([this, command, respond, &a, audit](UnitLink& link) mutable {
        std::string json;
        if (link.IsOpen()) {
            const CommandResult result = RunUnitCommand(link, command, a.confirm,
                                                        a.confirmWindowMs);
            json = OutcomeJson(command, &result, link.WaitMs());
        } else {
            json = OutcomeJson(command, nullptr, link.WaitMs());
        }
        audit.outcome = nlohmann::json::parse(json).value("outcome", "?");
        LogAudit(audit);
        state_->PublishCommand(json);
        commandRunning_ = false;
        respond(Answer(200, kJson, json));
    });
}

std::string ServeApp::RefusalsText() const {
    std::string text =
        "# HELP k40_http_refused_total Requests refused, by reason: a foreign host, a "
        "probe, API call or command from another site's page (origin), without its token, or while commands are off, "
        "and the server's own refusals of malformed, oversized or slow requests and of "
        "connections beyond the limits (request).\n"
        "# TYPE k40_http_refused_total counter\n";
    const struct {
        const char* reason;
        unsigned long long count;
    } rows[] = {{"host", refusedHost_},
                {"origin", refusedOrigin_},
                {"token", refusedToken_},
                {"commands-off", refusedCommandsOff_},
                {"request", serverRefused_ ? serverRefused_() : 0}};
    for (const auto& row : rows) {
        text += std::string("k40_http_refused_total{reason=\"") + row.reason + "\"} " +
                std::to_string(row.count) + "\n";
    }
    return text;
}
