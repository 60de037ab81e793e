#include "cli/StopSignal.h"

#include <csignal>

namespace {

volatile std::sig_atomic_t g_stop = 0;
volatile std::sig_atomic_t g_reopen = 0;

void OnStopSignal(int) {
    g_stop = 1;
}

void OnReopenSignal(int) {
    g_reopen = 1;
}

void Catch(int signal, void (*handler)(int)) {
    struct sigaction sa {};
    sa.sa_handler = handler;
    sigemptyset(&sa.sa_mask);
    sigaction(signal, &sa, nullptr);
}

}  // namespace

void CatchStopSignals(HangUp hangUp) {
    Catch(SIGINT, OnStopSignal);
    Catch(SIGTERM, OnStopSignal);
    Catch(SIGHUP, hangUp == HangUp::Reopens ? OnReopenSignal : OnStopSignal);
}

bool StopRequested() {
    return g_stop != 0;
}

bool ReopenRequested() {
    if (g_reopen == 0) {
        return false;
    }
    g_reopen = 0;
    return true;
}
