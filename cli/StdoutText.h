// k40ctl's results on standard output.
#pragma once

#include <string>

// Writes text to standard output and flushes it at once, so that a script
// reading a pipe sees each result as it comes. False, said on standard error,
// when it cannot be written (a full disk, a closed pipe): the command then
// ends with its write-failure status.
bool WriteStdout(const std::string& text);
