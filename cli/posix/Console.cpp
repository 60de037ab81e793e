#include "cli/Console.h"

#include <sys/ioctl.h>
#include <unistd.h>

#include "base/Files.h"

CConsoleArguments::CConsoleArguments(int argc, char** argv) : m_args(ProgramArguments(argc, argv)) {
    for (std::string& a : m_args) {
        m_pointers.push_back(a.data());
    }
}

void RestoreConsole() {}

bool ConsoleSize(int& columns, int& rows) {
    struct winsize ws {};
    if (ioctl(STDOUT_FILENO, TIOCGWINSZ, &ws) != 0 || ws.ws_col == 0 || ws.ws_row == 0) {
        return false;
    }
    columns = ws.ws_col;
    rows = ws.ws_row;
    return true;
}

bool IsLiveTerminal(int fd) {
    return isatty(fd) != 0;
}
