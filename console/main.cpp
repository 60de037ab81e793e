// k40tool: commissioning and test tool for the Modbus RTU interface of the
// HCU-K40 DC power-system monitor. Everything happens in theApp.
#include "console/RtuToolApp.h"

int main(int argc, char* argv[]) {
    return AfxWinMain(theApp, argc, argv);
}
