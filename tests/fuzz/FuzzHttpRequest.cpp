// Fuzz target: k40ctl serve's request parser, request checks and command
// gate on arbitrary bytes. The whole input is parsed at once and again as the
// server reads it, in pieces (the first byte sets their size); both must
// agree, what is accepted must hold nothing a route must never see, and a
// command passes the gate only when it passed every check and is in range.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "serve/CommandGate.h"
#include "serve/HttpParse.h"
#include "serve/RequestGuard.h"

namespace {

void Check(bool ok) {
    if (!ok) {
        std::abort();
    }
}

// Small limits, so that the fuzzer reaches them with small inputs.
HttpLimits Limits() {
    HttpLimits limits;
    limits.maxHeaderBytes = 512;
    limits.maxBodyBytes = 64;
    return limits;
}

// The reader fed as the server feeds it: whatever arrived, the unused rest kept.
int ParseInPieces(std::string_view bytes, std::size_t piece, HttpRequest* out) {
    HttpRequestReader reader(Limits());
    std::string buffer;
    for (std::size_t at = 0; at < bytes.size(); at += piece) {
        buffer += bytes.substr(at, piece);
        std::size_t used = 0;
        const HttpRequestReader::State state = reader.Feed(buffer, &used);
        Check(used <= buffer.size());
        buffer.erase(0, used);
        if (state == HttpRequestReader::State::Done) {
            *out = reader.Take();
            return 0;
        }
        if (state == HttpRequestReader::State::Refused) {
            return reader.Status();
        }
    }
    return -1;  // incomplete
}

void CheckAccepted(const HttpRequest& r) {
    Check(!r.path.empty() && r.path[0] == '/');
    Check(r.path.find("..") == std::string::npos && r.path.find("//") == std::string::npos);
    Check(r.path.find('\0') == std::string::npos && r.path.find('\\') == std::string::npos);
    Check(r.body.size() <= Limits().maxBodyBytes);
}

void CheckGuards(const HttpRequest& r) {
    for (const char* listen : {"127.0.0.1", "::1", "0.0.0.0", "::"}) {
        const AllowedHosts allowed = MakeAllowedHosts(listen, 9040, {r.host, "k40.example.net"});
        HostAllowed(allowed, r);
        OriginAllowed(allowed, r);
    }
    BearerMatches(r.authorization, "0123456789abcdef0123456789abcdef");
    BearerMatches(r.authorization, r.authorization.size() > 7 ? r.authorization.substr(7) : "");
    // Fields the client chose, echoed by a route into an answer, never split it.
    HttpResponse response;
    response.contentType = r.contentType;
    response.headers = {{r.accept, r.origin}, {"X-Host", r.host}};
    const std::string head = ResponseHead(response, ResponseFraming{});
    Check(head.find("\r\n\r\n") == head.size() - 4);
}

// A media type is case-insensitive: "application/JSON" is JSON too.
bool MentionsJson(std::string type) {
    for (char& c : type) {
        c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
    }
    return type.find("json") != std::string::npos;
}

// The request as a command under each way serve may be set up.
void CheckCommandGate(const HttpRequest& r) {
    const std::string token = "0123456789abcdef0123456789abcdef";
    for (int setup = 0; setup < 4; ++setup) {
        ServeAccess access;
        access.hosts = MakeAllowedHosts(setup % 2 ? "0.0.0.0" : "127.0.0.1", 9040, {});
        access.allowCommands = setup != 0;
        access.token = setup >= 2 ? token : "";
        UnitCommand c;
        const CommandVerdict v = JudgeCommand(access, r, &c);
        Check(v.status == 0 || v.status == 400 || v.status == 401 || v.status == 403 ||
              v.status == 415);
        if (v.status != 0) {
            continue;
        }
        Check(access.allowCommands && OriginAllowed(access.hosts, r));
        Check(access.token.empty() || BearerMatches(r.authorization, token));
        Check(MentionsJson(r.contentType));
        if (c.module) {
            Check(c.moduleNumber >= 0 && c.moduleNumber <= kMaxModule);
            Check(c.setpoint >= 0.0f && c.setpoint <= kMaxModuleVoltage);
            Check(c.setting != ModuleSetting::CurrentLimit || c.setpoint <= kMaxModuleCurrent);
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 1 || size > 4096) {
        return 0;
    }
    const std::size_t piece = 1 + data[0] % 64;
    const std::string_view bytes(reinterpret_cast<const char*>(data) + 1, size - 1);
    HttpRequest whole;
    std::string why;
    const int status = ParseHttpRequest(bytes, Limits(), &whole, &why);
    Check(status == 0 || status == 400 || status == 413 || status == 431 || status == 501);
    Check((status == 0) == why.empty());
    HttpRequest pieces;
    const int inPieces = ParseInPieces(bytes, piece, &pieces);
    if (status == 0) {
        CheckAccepted(whole);
        Check(inPieces == 0 && pieces.target == whole.target && pieces.body == whole.body);
    }
    CheckGuards(status == 0 ? whole : pieces);
    if (status == 0) {
        CheckCommandGate(whole);
    }
    return 0;
}
