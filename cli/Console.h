// What k40ctl needs of the console it runs in, one file a platform: the
// arguments in UTF-8, UTF-8 output, whether the live view's terminal
// sequences can be used, and files named in UTF-8.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

// The command line in UTF-8, and the console set for UTF-8 output. On Linux
// the arguments as they are; on Windows taken as UTF-16 from the system
// (through argv, Chinese arguments would arrive as "????") and converted.
class CConsoleArguments {
public:
    CConsoleArguments(int argc, char** argv);
    int Count() const { return static_cast<int>(m_pointers.size()); }
    char** Values() { return m_pointers.data(); }

private:
    std::vector<std::string> m_args;
    std::vector<char*> m_pointers;
};

// True when standard output (fd 1) or standard error (fd 2) is a terminal
// that shows the live view's sequences (cursor movement, clearing lines). On
// Windows the console's virtual terminal processing is switched on for it;
// a console that cannot gets plain lines.
bool IsLiveTerminal(int fd);

// The size of the terminal on standard output, in characters; false (and
// nothing changed) when it is no terminal.
bool ConsoleSize(int& columns, int& rows);

// fopen(path, mode) with path in UTF-8, as the arguments are: on Windows
// through the UTF-16 name (fopen would read it in the ANSI code page).
std::FILE* OpenFile(const std::string& path, const char* mode);
