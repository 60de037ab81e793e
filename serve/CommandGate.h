// Every check a command passes before the poller may send it, in one place:
// commands allowed at all, the request from no other site, the token, a JSON
// body, a valid command within the control page's ranges. The routes send
// only what passes; the fuzz target holds it to that.
#pragma once

#include <string>

#include "serve/Http.h"
#include "serve/RequestGuard.h"
#include "unit/CommandCheck.h"

struct ServeAccess {
    AllowedHosts hosts;          // the names a request's Host (and Origin) may give
    bool allowCommands = false;  // --allow-commands
    std::string token;           // --token-file's secret; empty: none needed
    // --read-token-file's secret: every path but the page's own files and
    // the runbooks needs it or the command token; empty: reads are open.
    std::string readToken;
    bool confirm = true;         // read system commands back (--no-confirm)
    int confirmWindowMs = 1500;
};

struct CommandVerdict {
    int status = 0;  // 0: send it; otherwise the HTTP status to answer
    // Why not, for the log and the answer ("token", "origin", ...), and the
    // answer's text; a refused command's answer is JSON (RefusedJson).
    const char* reason = "";
    std::string text;
    bool json = false;
};

// The verdict on a POST /api/v1/command whose Host was already found the
// server's own; *command is set when status is 0.
CommandVerdict JudgeCommand(const ServeAccess& access, const HttpRequest& request,
                            UnitCommand* command);
