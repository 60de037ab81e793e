// The console as the user left it. k40ctl switches the console's output to
// UTF-8 and its screen to terminal sequences; the cmd window and the batch
// file that started it expect their own code page afterwards (GBK output
// would come out garbled) and their own modes. The keeper changes the
// console only through its calls, remembers what each change replaced, and
// puts back exactly that, once: at exit, on Ctrl+C, Ctrl+Break or the
// console's closing, and when an exception ends the program
// (cli/win32/Console.cpp). What it did not change it leaves alone.
#pragma once

#include <atomic>
#include <cstdint>

// The console calls the keeper needs: Windows' console on standard output
// and standard error (cli/win32/Console.cpp), or a test's fake.
class ConsoleCalls {
public:
    virtual ~ConsoleCalls() = default;
    // The output code page; 0 when the program has no console.
    virtual unsigned OutputCodePage() = 0;
    virtual bool SetOutputCodePage(unsigned page) = 0;
    // The mode of standard output (stream 0) or standard error (1); false
    // when that stream is no console (a file, a pipe).
    virtual bool Mode(int stream, std::uint32_t& mode) = 0;
    virtual bool SetMode(int stream, std::uint32_t mode) = 0;
};

class ConsoleKeeper {
public:
    explicit ConsoleKeeper(ConsoleCalls& calls) : m_calls(calls) {}

    // Output in page from now on, when there is a console.
    void UseOutputCodePage(unsigned page);
    // The mode flags on for stream; true when the stream is a console that
    // has them now.
    bool UseModeFlags(int stream, std::uint32_t flags);
    // Puts back the code page and the modes that were changed; the first
    // call only (the exit after a Ctrl+C finds nothing left to do).
    void Restore();

private:
    ConsoleCalls& m_calls;
    // What the changes replaced; 0 or false: nothing changed.
    std::atomic<unsigned> m_codePage{0};
    std::atomic<bool> m_modeChanged[2] = {false, false};
    std::uint32_t m_mode[2] = {0, 0};
    std::atomic<bool> m_restored{false};
};
