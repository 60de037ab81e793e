#include "cli/HelpWords.h"

#include <utility>

namespace {

// Whole phrases of the Linux help and what Windows says instead; the longer
// ones first, so that a shorter one never cuts into them.
const std::pair<const char*, const char*> kWindowsWords[] = {
    {"  A watch ends after the current exchange on SIGINT or SIGTERM, and on SIGHUP\n"
     "  unless it writes to --output FILE: then SIGHUP reopens FILE by its name before\n"
     "  the next record (for logrotate).",
     "  A watch ends after the current exchange on Ctrl+C or Ctrl+Break, and when its\n"
     "  console window is closed (its files are complete within the 5 s Windows\n"
     "  gives)."},
    {"  A port is a device path (/dev/ttyUSB0, or the /dev/serial/by-id/ name that\n"
     "  stays the same when the adapter comes back as another ttyUSB number), COMn, or\n",
     "  A port is COMn, Windows' own name of the port (Device Manager, or k40ctl\n"
     "  ports, shows it), or\n"},
    {"  COMn is $K40_COMn when set, else the n-th port present: USB adapters\n"
     "  (/dev/ttyUSB*, then /dev/ttyACM*, each by number), then on-board ports with a\n"
     "  UART behind them (/dev/ttyS*); with fewer ports, /dev/ttyS(n-1).\n",
     "  COMn is that port, or $K40_COMn when set.\n"},
    {"device, /dev/serial/by-id/ name, USB vendor:product", "device, USB vendor:product"},
    {"  With --history-file, SIGHUP reopens FILE (log rotation); without it, SIGHUP\n"
     "  ends serve.\n",
     ""},
    {"SIGINT and\n  SIGTERM end it.", "Ctrl+C, Ctrl+Break\n  and closing the console end it."},
    {"SIGINT and SIGTERM\n  end it.", "Ctrl+C, Ctrl+Break and\n  closing the console end it."},
    {"until SIGINT or SIGTERM", "until Ctrl+C or Ctrl+Break"},
    {"/dev/ttyUSB0", "COM3"},
};

void ReplaceAll(std::string& text, const std::string& from, const std::string& to) {
    for (std::size_t at = text.find(from); at != std::string::npos;
         at = text.find(from, at + to.size())) {
        text.replace(at, from.size(), to);
    }
}

}  // namespace

std::string WindowsHelp(std::string help) {
    for (const auto& [from, to] : kWindowsWords) {
        ReplaceAll(help, from, to);
    }
    return help;
}
