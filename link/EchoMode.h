// Whether the line returns the master's own request before the unit's reply.
//
// Many two-wire RS-485 adapters keep their receiver on while they transmit, so
// every request comes straight back to the master ("local echo"). For the write
// functions 05 and 06 the correct reply is itself an exact copy of the request,
// so on such a line a unit that never answers would look as if it had answered.
//   Off   the line does not echo: the received bytes are searched as they are;
//   On    the line echoes: the exact copy of the request must come first and is
//         removed before the reply is looked for;
//   Auto  as Off until the line proves that it echoes, then as On until the port
//         is opened again. The proof is the exact copy of a read request (01 or
//         03) among the received bytes: a read request can never be a reply.
#pragma once

enum class EchoMode { Off, On, Auto };

// "on", "off" or "auto"; false (mode untouched) for anything else.
bool ParseEchoMode(const char* text, EchoMode& mode);
// The mode a setting such as the K40_ECHO environment variable asks for:
// Auto when the text is missing or not one of the three names.
EchoMode EchoModeOrAuto(const char* text);
const char* EchoModeName(EchoMode mode);
