// Whether the line returns the master's own request before the unit's reply.
//
// Many two-wire RS-485 adapters keep their receiver on while they transmit, so
// every request comes straight back to the master ("local echo"). For the write
// functions 05 and 06 the correct reply is itself an exact copy of the request,
// so on such a line a unit that never answers would look as if it had answered.
//   Off   the line does not echo: the received bytes are searched as they are;
//   On    the line echoes: the exact copy of the request must come first and is
//         removed before the reply is looked for;
//   Auto  the line's echo is learned from reads (see EchoState) and holds until
//         the port is opened again: as On once it is known to echo, as Off once
//         it is known not to. A write while nothing is known yet is preceded by
//         one read of register 0 that settles it, once per opening.
#pragma once

enum class EchoMode { Off, On, Auto };

// What the reads since the port was opened have shown of the line's echo.
//   Unknown  nothing yet (the port is fresh, or the reads proved nothing)
//   Present  the exact copy of a read request (01 to 04), or of a 15/16 write,
//            came back: such a request can never be its own reply, so only
//            the line can have sent it
//   Absent   after a purge, the reply came with nothing in front of it, or
//            nothing came at all: an echoing adapter always echoes
enum class EchoState { Unknown, Present, Absent };

// "on", "off" or "auto"; false (mode untouched) for anything else.
bool ParseEchoMode(const char* text, EchoMode& mode);
// The mode a setting such as the K40_ECHO environment variable asks for:
// Auto when the text is missing or not one of the three names.
EchoMode EchoModeOrAuto(const char* text);
const char* EchoModeName(EchoMode mode);
// The mode the environment variable K40_ECHO asks for, as both programs read
// it; *refused is its text when it is set to something else (auto is then
// used), else null.
EchoMode EchoModeFromEnvironment(const char** refused);
