// Why a serial port could not be opened, in words an operator can act on.
#pragma once

#include <string>

// error: the system's error number from the open (ENOENT, EACCES, EBUSY, ...).
// "no such device" for a missing one, a hint about the dialout group for a
// permission refusal, "busy: another program holds it" for a port in use, and
// the system's own text for anything else.
std::string OpenErrorText(int error);
