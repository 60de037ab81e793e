// What k40ctl needs of the console it runs in, one file a platform: the
// arguments in UTF-8, UTF-8 output, whether the live view's terminal
// sequences can be used, and files named in UTF-8.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

// The command line in UTF-8 (ProgramArguments), and the console set for
// UTF-8 output (until the program ends: RestoreConsole).
class CConsoleArguments {
public:
    CConsoleArguments(int argc, char** argv);
    int Count() const { return static_cast<int>(m_pointers.size()); }
    char** Values() { return m_pointers.data(); }

private:
    std::vector<std::string> m_args;
    std::vector<char*> m_pointers;
};

// The console's output code page and modes as they were before
// CConsoleArguments and IsLiveTerminal changed them. Done at exit, when
// Ctrl+C or Ctrl+Break end the program and when an exception does; nothing
// to do on Linux.
void RestoreConsole();

// True when standard output (fd 1) or standard error (fd 2) is a terminal
// that shows the live view's sequences (cursor movement, clearing lines). On
// Windows the console's virtual terminal processing is switched on for it;
// a console that cannot gets plain lines.
bool IsLiveTerminal(int fd);

// The size of the terminal on standard output, in characters; false (and
// nothing changed) when it is no terminal.
bool ConsoleSize(int& columns, int& rows);
