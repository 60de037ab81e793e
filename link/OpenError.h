// Why a serial port could not be opened, in words an operator can act on.
// One file a platform: link/posix/ words errno, link/win32/ the Win32 error
// codes (GetLastError, WSAGetLastError).
#pragma once

#include <string>

// error: the system's error number from the open. On Linux errno (ENOENT,
// EACCES, EBUSY, ...): "no such device" for a missing one, a hint about the
// dialout group for a permission refusal, "busy: another program holds it"
// for a port in use. On Windows the Win32 error: ERROR_FILE_NOT_FOUND is a
// missing port, ERROR_ACCESS_DENIED one another program holds. Anything else
// is worded by the system's own text.
std::string OpenErrorText(int error);

// The system's own words for error, whatever it is: strerror on Linux,
// FormatMessage in UTF-8 on Windows. For failures that are not a port's.
std::string SystemErrorText(int error);

// The system's error number for "there is no such port" (ENODEV on Linux,
// ERROR_FILE_NOT_FOUND on Windows), for failures the link finds itself.
extern const int kNoSuchDeviceError;
