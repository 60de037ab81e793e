#include "cli/Console.h"

#include <windows.h>

#include <fcntl.h>
#include <io.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <exception>

#include "base/Files.h"
#include "cli/win32/ConsoleKeeper.h"

namespace {

HANDLE StdHandle(int stream) {
    return GetStdHandle(stream == 0 ? STD_OUTPUT_HANDLE : STD_ERROR_HANDLE);
}

// The console's own calls on standard output (0) and standard error (1).
class CWindowsConsole final : public ConsoleCalls {
public:
    unsigned OutputCodePage() override { return GetConsoleOutputCP(); }
    bool SetOutputCodePage(unsigned page) override { return SetConsoleOutputCP(page) != 0; }
    bool Mode(int stream, std::uint32_t& mode) override {
        DWORD m = 0;
        if (!GetConsoleMode(StdHandle(stream), &m)) {
            return false;
        }
        mode = m;
        return true;
    }
    bool SetMode(int stream, std::uint32_t mode) override {
        return SetConsoleMode(StdHandle(stream), mode) != 0;
    }
};

ConsoleKeeper& Keeper() {
    static CWindowsConsole calls;
    static ConsoleKeeper keeper(calls);
    return keeper;
}

// Ctrl+C or Ctrl+Break where the program does not catch them (and closing
// the console): the console goes back, then the system's own handler ends
// the program. A long run that catches them ends through exit, as usual.
BOOL WINAPI RestoreOnStop(DWORD /*event*/) {
    RestoreConsole();
    return FALSE;
}

// An exception that nothing caught ends the program through abort, which
// runs no exit handlers: the console goes back first.
std::terminate_handler g_terminate = nullptr;
[[noreturn]] void RestoreOnTerminate() {
    RestoreConsole();
    if (g_terminate != nullptr) {
        g_terminate();
    }
    std::abort();
}

}  // namespace

void RestoreConsole() {
    Keeper().Restore();
}

CConsoleArguments::CConsoleArguments(int argc, char** argv) {
    Keeper();  // made before the exit handler is registered, ended after it
    std::atexit(RestoreConsole);
    SetConsoleCtrlHandler(RestoreOnStop, TRUE);
    g_terminate = std::set_terminate(RestoreOnTerminate);
    Keeper().UseOutputCodePage(CP_UTF8);
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
    // A file or a pipe is no console; one that cannot show the sequences
    // gets plain lines.
    return Keeper().UseModeFlags(fd == 2 ? 1 : 0, ENABLE_VIRTUAL_TERMINAL_PROCESSING);
}
