// One HTTP GET to a running k40ctl serve, for k40ctl check --serve: the
// server holds the line, so the check asks it rather than the unit.
#pragma once

#include <chrono>
#include <string>

// GET of base + path, base "http://HOST[:PORT][/PREFIX]" (HOST a name, an
// IPv4 address or [IPv6]; port 80 unless given). The body of a 200 answer
// (at most 1 MiB) in *body; otherwise false with the reason in *why. The
// whole exchange, the name lookup included, takes at most timeout.
bool HttpGet(const std::string& base, const std::string& path, std::chrono::milliseconds timeout,
             std::string* body, std::string* why);

// Whether base is an http:// URL HttpGet can use; "" or why not.
std::string CheckHttpBase(const std::string& base);
