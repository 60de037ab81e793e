// k40ctl's help in the words of the system it runs on. The help is written for
// Linux (signals, /dev/ttyUSB0); on Windows the stop requests are Ctrl+C,
// Ctrl+Break and closing the console, there is no reopen on a hang-up, and a
// port is COMn.
#pragma once

#include <string>

// The Linux help as Windows has it.
std::string WindowsHelp(std::string help);

// The help as this system has it: as it is on Linux, WindowsHelp on Windows
// (one file a platform).
std::string PlatformHelp(std::string help);
