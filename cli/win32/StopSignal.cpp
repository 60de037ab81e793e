// Ctrl+C and Ctrl+Break as k40ctl's long runs take them on Windows: like
// SIGINT on Linux they only set a flag, the exchange under way finishes and
// its result is written whole. Closing the console window (and logging off,
// shutting down) leaves the process about 5 s once the handler returns, so
// there the handler holds on until the program has ended its run and
// completed its files, and at most 4 s. Windows has no SIGHUP: log rotation
// there does not ask the writer to reopen its file, so a reopen never comes.
#include <windows.h>

#include <atomic>
#include <cstdlib>

#include "cli/StopSignal.h"

namespace {

std::atomic<bool> g_stop{false};
HANDLE g_finished = nullptr;  // set once the program leaves main

constexpr DWORD kCloseGraceMs = 4000;

void OnExit() {
    SetEvent(g_finished);
}

BOOL WINAPI OnConsoleEvent(DWORD event) {
    g_stop = true;
    switch (event) {
        case CTRL_C_EVENT:
        case CTRL_BREAK_EVENT:
            return TRUE;
        default:
            // The process ends when this returns: let the run finish first.
            WaitForSingleObject(g_finished, kCloseGraceMs);
            return TRUE;
    }
}

}  // namespace

void CatchStopSignals(HangUp /*hangUp*/) {
    if (g_finished == nullptr) {
        g_finished = CreateEventW(nullptr, TRUE, FALSE, nullptr);
        std::atexit(OnExit);
    }
    SetConsoleCtrlHandler(OnConsoleEvent, TRUE);
}

bool StopRequested() {
    return g_stop;
}

bool ReopenRequested() {
    return false;
}
