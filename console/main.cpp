// k40tool: commissioning and test tool for the Modbus RTU interface of the
// HCU-K40 DC power-system monitor. Everything happens in theApp.
//
// The program takes no command line. Only --help and --version are answered,
// on standard output and before any window exists, so that the manual page
// can be made from them on a machine without a display; every other argument
// is ignored.
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "console/ParentConsole.h"
#include "console/RtuToolApp.h"

namespace {

const char kHelp[] =
    "Usage: k40tool\n"
    "Commissioning and test tool for the Modbus RTU interface of the HCU-K40 DC\n"
    "power-system monitoring unit: a Modbus RTU master on one serial line.\n"
    "\n"
    "The program opens one window, a sheet of four pages:\n"
    "  serial settings   port COM1 or COM2, 600 to 38400 baud, slave address 1..254\n"
    "                    and reply wait 100..50000 ms; \"set\" opens the port\n"
    "  read data         reads the status bits (function 01 on coils 0..14, or\n"
    "                    function 03 on holding register 0) and the nine analog\n"
    "                    measurements (function 03 on holding registers 100..108)\n"
    "  control           system commands (manual/automatic, float/equalize charge,\n"
    "                    function 05) and rectifier module commands (voltage and\n"
    "                    current-limit setpoints, on, off, function 06)\n"
    "  version           the program's version\n"
    "Every request and reply is shown as hexadecimal bytes. The line runs with\n"
    "8 data bits, no parity, 1 stop bit and no flow control.\n"
    "\n"
    "Options:\n"
    "  --help      print this text and exit\n"
    "  --version   print the version and exit\n"
    "Any other argument is ignored.\n"
    "\n"
    "Environment:\n"
    "  K40_COM1, K40_COM2   the device behind COM1 and COM2: a path such as\n"
    "                       /dev/ttyUSB0 or a /dev/serial/by-id/ name, the\n"
    "                       pseudo-terminal of k40sim, tcp://HOST:PORT for a\n"
    "                       serial device server (RTU over TCP), or\n"
    "                       mbtcp://HOST[:PORT] for a Modbus TCP device or gateway\n"
    "                       (port 502 by default; the slave address is the unit\n"
    "                       id; the hex boxes show the MBAP frames). Unset, COMn is the n-th serial\n"
    "                       port present when \"set\" is pressed: USB adapters\n"
    "                       (ttyUSB, then ttyACM, in number order) before on-board\n"
    "                       ports with a UART; /dev/ttyS(n-1) when there are fewer.\n"
    "  K40_ECHO             on, off or auto (the default): whether the line returns\n"
    "                       every request before the reply, as two-wire RS-485\n"
    "                       adapters that hear themselves do. auto learns it from\n"
    "                       the reads, and reads register 0 once before a command\n"
    "                       when none has told it yet; on and off send exactly\n"
    "                       the commands.\n";

}  // namespace

int main(int argc, char* argv[]) {
    UseParentConsole();
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--help") == 0) {
            std::fputs(kHelp, stdout);
            return 0;
        }
        if (std::strcmp(argv[i], "--version") == 0) {
            std::fputs("k40tool " K40_VERSION "\n", stdout);
            return 0;
        }
    }
    // Whether the line echoes the requests (a two-wire RS-485 adapter that
    // hears itself): K40_ECHO=on, off or auto; anything else counts as auto.
    const char* refused = nullptr;
    theComm.m_echoMode = EchoModeFromEnvironment(&refused);
    if (refused != nullptr) {
        std::fprintf(stderr, "k40tool: K40_ECHO=%s is not on, off or auto; auto is used\n",
                     refused);
    }
    return AfxWinMain(theApp, argc, argv);
}
