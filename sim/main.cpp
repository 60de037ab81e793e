// k40sim: a simulated HCU-K40 monitoring unit on a pseudo-terminal (or a serial
// line, or TCP as behind a serial device server), for developing, testing and
// demonstrating the commissioning program without the hardware. Run
// "k40sim --help" for the options.
#include <cstdio>
#include <string>
#include <vector>

#include "base/Files.h"
#include "sim/RequestLog.h"
#include "sim/SimEngine.h"
#include "sim/SimOptions.h"
#include "sim/SimPort.h"
#include "sim/SimRunner.h"

namespace {

std::string Describe(const SimOptions& opt, const CSimPort& port) {
    std::string text =
        "k40sim: slave " + std::to_string(opt.engine.slaveAddr) + " on " + port.Path();
    if (!opt.linkPath.empty()) {
        text += " (link " + opt.linkPath + ")";
    }
    const LineSettings line{opt.baud != 0 ? opt.baud : 9600, opt.parity, opt.stopBits};
    if (opt.baud != 0) {
        text += port.IsPty() || port.IsSocket() ? ", paced at " + LineName(line)
                                                : ", " + LineName(line);
    } else if (line.parity != Parity::None || line.stopBits != 1) {
        text += ", " + FrameName(line);
    }
    for (const FaultSpec& f : opt.engine.faults) {
        text += std::string(", ") + FaultName(f.kind) + " " + std::to_string(f.percent) + " %";
    }
    if (opt.adapterEcho) {
        text += ", adapter echo";
    }
    if (opt.engine.replyDelayMs != 0) {
        text += ", reply delay " + std::to_string(opt.engine.replyDelayMs) + " ms";
    }
    return text + (opt.engine.drift ? "" : ", static values") + "\n";
}

// The line the options name: a listening socket, a pseudo-terminal, or a
// device at the options' settings; and the link to it when asked for.
bool OpenPort(CSimPort& port, const SimOptions& opt, std::string& error) {
    const bool opened =
        !opt.listenAddress.empty() ? port.Listen(opt.listenAddress, error, opt.mbtcp)
        : opt.devicePath.empty()
            ? port.OpenPty(error)
            : port.OpenDevice(
                  opt.devicePath,
                  LineSettings{opt.baud != 0 ? opt.baud : 9600, opt.parity, opt.stopBits}, error);
    return opened && (opt.linkPath.empty() || port.MakeLink(opt.linkPath, error));
}

// The command line in UTF-8, as file names are opened (on Windows from the
// UTF-16 command line).
bool ParseCommandLine(int argc, char** argv, SimOptions& opt, std::string& error) {
    std::vector<std::string> args = ProgramArguments(argc, argv);
    std::vector<char*> values;
    for (std::string& a : args) {
        values.push_back(a.data());
    }
    return CSimOptions::Parse(static_cast<int>(values.size()), values.data(), opt, error);
}

// Announces the unit on the open line and answers on it until a stop signal
// (0) or a failure of the line (1).
int Serve(CSimPort& port, const SimOptions& opt, std::FILE* trace, int signalFd) {
    CSimEngine engine(opt.engine);
    CRequestLog log(opt.quiet ? nullptr : stderr, trace);
    if (!opt.quiet) {
        std::fputs(Describe(opt, port).c_str(), stderr);
    }
    // The one line on stdout that scripts wait for.
    std::printf("%s\n", port.Path().c_str());
    std::fflush(stdout);

    // A real line sets its own pace; on a pseudo-terminal or a connection the
    // runner models the line behind it.
    const LineSettings line{port.IsPty() || port.IsSocket() ? opt.baud : 0, opt.parity,
                            opt.stopBits};
    if (NeedsFineTimers(opt.engine, line.baud)) {
        CSimRunner::FineTimers();
    }
    CSimRunner runner(port, engine, log, line, signalFd, opt.adapterEcho);
    CMbapSession mbap;
    if (opt.mbtcp) {
        runner.UseMbap(mbap);
    }
    return runner.Run();
}

}  // namespace

int main(int argc, char** argv) {
    SimOptions opt;
    std::string error;
    if (!ParseCommandLine(argc, argv, opt, error)) {
        std::fprintf(stderr, "k40sim: %s\nTry k40sim --help.\n", error.c_str());
        return 2;
    }
    if (opt.help) {
        std::fputs(CSimOptions::HelpText(), stdout);
        std::fputs(CSimPort::PlatformNote(), stdout);
        return 0;
    }
    // Before anything exists that a stop signal would have to clean up.
    const int signalFd = CSimRunner::BlockStopSignals();
    if (signalFd < 0) {
        std::perror("k40sim: signals");
        return 1;
    }

    CSimPort port;
    if (!OpenPort(port, opt, error)) {
        std::fprintf(stderr, "k40sim: %s\n", error.c_str());
        return 1;
    }
    std::FILE* trace = nullptr;
    if (!opt.tracePath.empty()) {
        trace = OpenFile(opt.tracePath, "w");
        if (trace == nullptr) {
            std::perror(("k40sim: " + opt.tracePath).c_str());
            return 1;
        }
    }
    const int rc = Serve(port, opt, trace, signalFd);
    port.RemoveLink();
    if (trace != nullptr) {
        std::fclose(trace);
    }
    return rc;
}
