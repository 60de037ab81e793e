#include "cli/Console.h"

#include <windows.h>
#include <shellapi.h>

#include "link/win32/Wide.h"

CConsoleArguments::CConsoleArguments(int argc, char** argv) {
    SetConsoleOutputCP(CP_UTF8);
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

bool IsLiveTerminal(int fd) {
    HANDLE h = GetStdHandle(fd == 2 ? STD_ERROR_HANDLE : STD_OUTPUT_HANDLE);
    DWORD mode = 0;
    if (h == INVALID_HANDLE_VALUE || !GetConsoleMode(h, &mode)) {
        return false;  // a file or a pipe
    }
    return (mode & ENABLE_VIRTUAL_TERMINAL_PROCESSING) != 0 ||
           SetConsoleMode(h, mode | ENABLE_VIRTUAL_TERMINAL_PROCESSING) != 0;
}
