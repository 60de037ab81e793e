#include "cli/Console.h"

#include <windows.h>

#include <fcntl.h>
#include <io.h>

#include <cstdio>
#include <cstdlib>

#include "link/Files.h"

namespace {

// The console as the user had it: k40ctl switches its output to UTF-8 and
// its screen to terminal sequences, and a batch file that runs after it
// expects its own code page (GBK output would come out garbled).
struct ConsoleState {
    UINT outputCodePage = 0;
    DWORD modes[2] = {0, 0};
    bool hasMode[2] = {false, false};
};
ConsoleState g_saved;

HANDLE StdHandle(int index) {
    return GetStdHandle(index == 0 ? STD_OUTPUT_HANDLE : STD_ERROR_HANDLE);
}

void SaveConsole() {
    g_saved.outputCodePage = GetConsoleOutputCP();
    for (int i = 0; i < 2; ++i) {
        g_saved.hasMode[i] = GetConsoleMode(StdHandle(i), &g_saved.modes[i]) != 0;
    }
}

// Ctrl+C or Ctrl+Break where the program does not catch them (and closing
// the console): the console goes back, then the system's own handler ends
// the program. A long run that catches them ends through exit, as usual.
BOOL WINAPI RestoreOnStop(DWORD /*event*/) {
    RestoreConsole();
    return FALSE;
}

}  // namespace

void RestoreConsole() {
    if (g_saved.outputCodePage != 0) {
        SetConsoleOutputCP(g_saved.outputCodePage);
    }
    for (int i = 0; i < 2; ++i) {
        if (g_saved.hasMode[i]) {
            SetConsoleMode(StdHandle(i), g_saved.modes[i]);
        }
    }
}

CConsoleArguments::CConsoleArguments(int argc, char** argv) {
    SaveConsole();
    std::atexit(RestoreConsole);
    SetConsoleCtrlHandler(RestoreOnStop, TRUE);
    SetConsoleOutputCP(CP_UTF8);
    // The formats end their lines themselves (CSV with CR LF, JSON Lines with
    // LF): no text-mode translation, on standard output nor in the files
    // k40ctl opens.
    _fmode = _O_BINARY;
    _setmode(_fileno(stdout), _O_BINARY);
    _setmode(_fileno(stderr), _O_BINARY);
    m_args = ProgramArguments(argc, argv);
    for (std::string& a : m_args) {
        m_pointers.push_back(a.data());
    }
}

bool ConsoleSize(int& columns, int& rows) {
    CONSOLE_SCREEN_BUFFER_INFO info;
    if (!GetConsoleScreenBufferInfo(GetStdHandle(STD_OUTPUT_HANDLE), &info)) {
        return false;
    }
    columns = info.srWindow.Right - info.srWindow.Left + 1;
    rows = info.srWindow.Bottom - info.srWindow.Top + 1;
    return true;
}

bool IsLiveTerminal(int fd) {
    HANDLE h = GetStdHandle(fd == 2 ? STD_ERROR_HANDLE : STD_OUTPUT_HANDLE);
    DWORD mode = 0;
    if (h == INVALID_HANDLE_VALUE || !GetConsoleMode(h, &mode)) {
        return false;  // a file or a pipe
    }
    return (mode & ENABLE_VIRTUAL_TERMINAL_PROCESSING) != 0 ||
           SetConsoleMode(h, mode | ENABLE_VIRTUAL_TERMINAL_PROCESSING) != 0;
}
