// What k40ctl serve writes about its clients on stderr (the journal under
// systemd): refusals through one rate-limited path, and an audit line for
// every command that is not rate-limited. Every byte a client chose is
// escaped, so that no request can write control characters, invalid UTF-8 or
// a line of its own into the log.
#pragma once

#include <string>
#include <string_view>

// Control bytes, '\', and bytes 0x80-0xFF as \xNN: "a\x1b[2Jb".
std::string LogEscaped(std::string_view text);

// "k40ctl: 400 from 127.0.0.1: bad request line" on stderr, as one write,
// escaped; at most 20 lines in 10 s, so that a flood of bad requests does not
// flood the journal (the lines left out are counted when the window ends).
void LogRefusal(const std::string& line);

// One command's audit line, never left out: the time (UTC), the client's
// address, whether a token came with it (never the token), the command and
// its outcome. "k40ctl: audit 2026-12-09T01:02:03Z 192.0.2.7 token=yes
// command manual: confirmed".
struct CommandAudit {
    std::string client;
    bool token = false;
    std::string command;  // the command's words, or "-" when it did not parse
    std::string outcome;
};
std::string AuditLine(const CommandAudit& audit, long long unixSeconds);
void LogAudit(const CommandAudit& audit);
