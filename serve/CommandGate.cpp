#include "serve/CommandGate.h"

#include "serve/CommandJson.h"

namespace {

// Only the media type counts, not its parameters: "application/json; charset=utf-8".
// Spaces may stand around it, not inside: "application/js on" is no JSON.
bool IsJson(const std::string& contentType) {
    const std::string media = contentType.substr(0, contentType.find(';'));
    const std::size_t first = media.find_first_not_of(" \t");
    if (first == std::string::npos) {
        return false;
    }
    std::string type;
    for (char c : media.substr(first, media.find_last_not_of(" \t") + 1 - first)) {
        type += static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
    }
    return type == "application/json";
}

CommandVerdict No(int status, const char* reason, std::string text) {
    return {status, reason, std::move(text), false};
}

}  // namespace

CommandVerdict JudgeCommand(const ServeAccess& access, const HttpRequest& request,
                            UnitCommand* command) {
    if (!access.allowCommands) {
        return No(403, "commands-off",
                  "commands are not allowed: serve runs without --allow-commands");
    }
    if (!FromOwnSite(access.hosts, request)) {
        return No(403, "origin", "a command from another site's page is refused");
    }
    if (!access.token.empty() && !BearerMatches(request.authorization, access.token)) {
        return No(401, "token", "a command needs Authorization: Bearer <token>");
    }
    if (!IsJson(request.contentType)) {
        return No(415, "content-type", "a command is a JSON body (Content-Type: application/json)");
    }
    const std::string why = ParseCommandJson(request.body, command);
    if (!why.empty()) {
        return {400, "command", RefusedJson(request.body, why), true};
    }
    return {};
}
