// k40ctl token FILE: a new secret for serve's --token-file and
// --read-token-file, made from the system's random source and written to a
// file that only the user may read. Nothing secret is printed.
#pragma once

#include <cstddef>
#include <string>

#include "cli/CtlOptions.h"

int RunToken(const CtlOptions& o);

// The platform's half (cli/posix/, cli/win32/): fills bytes from the
// system's random source (getrandom(2); RtlGenRandom), and
// writes a new file that the user alone may read and write (mode 0600; an ACL
// that names the user only). Both false with the reason in *why; the file is
// never replaced when it exists.
bool SystemRandom(unsigned char* bytes, std::size_t count, std::string* why);
bool WritePrivateFile(const std::string& path, const std::string& text, std::string* why);
