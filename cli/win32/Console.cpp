#include "cli/Console.h"

#include <windows.h>

#include <fcntl.h>
#include <io.h>
#include <shellapi.h>

#include <cstdio>
#include <cstdlib>

#include "link/win32/Wide.h"

CConsoleArguments::CConsoleArguments(int argc, char** argv) {
    SetConsoleOutputCP(CP_UTF8);
    // The formats end their lines themselves (CSV with CR LF, JSON Lines with
    // LF): no text-mode translation, on standard output nor in the files
    // k40ctl opens.
    _fmode = _O_BINARY;
    _setmode(_fileno(stdout), _O_BINARY);
    _setmode(_fileno(stderr), _O_BINARY);
    int count = 0;
    wchar_t** wide = CommandLineToArgvW(GetCommandLineW(), &count);
    if (wide != nullptr) {
        for (int i = 0; i < count; ++i) {
            m_args.push_back(Utf8(wide[i]));
        }
        LocalFree(wide);
    } else {
        m_args.assign(argv, argv + argc);
    }
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

std::FILE* OpenFile(const std::string& path, const char* mode) {
    return _wfopen(Utf16(path).c_str(), Utf16(mode).c_str());
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
