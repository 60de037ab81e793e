// Where k40tool's --help, --version and warnings go. On Windows a window
// program starts without standard streams, and cmd shows nothing it writes:
// it writes to the console it was started from, when there is one. Nothing to
// do on Linux (console/posix/, console/win32/).
#pragma once

// Standard output and error that lead nowhere are joined to the parent
// process's console; streams redirected to a file or a pipe stay as they are.
void UseParentConsole();
