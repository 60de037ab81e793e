// k40tool: commissioning and test tool for the Modbus RTU interface of the
// HCU-K40 DC power-system monitor. Everything happens in theApp.
#include <cstdio>
#include <cstdlib>

#include "console/RtuToolApp.h"

int main(int argc, char* argv[]) {
    // Whether the line echoes the requests (a two-wire RS-485 adapter that
    // hears itself): K40_ECHO=on, off or auto; anything else counts as auto.
    const char* echo = std::getenv("K40_ECHO");
    theComm.m_echoMode = EchoModeOrAuto(echo);
    EchoMode named;
    if (echo != nullptr && !ParseEchoMode(echo, named)) {
        std::fprintf(stderr, "k40tool: K40_ECHO=%s is not on, off or auto; auto is used\n", echo);
    }
    return AfxWinMain(theApp, argc, argv);
}
