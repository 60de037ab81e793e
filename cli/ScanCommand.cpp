#include "cli/ScanCommand.h"

#include <cstdio>
#include <string>
#include <vector>

#include "cli/ProgressLine.h"
#include "cli/StopSignal.h"
#include "master/LineScan.h"
#include "master/PortOpen.h"

namespace {

// The settings tried in turn. A device server's line is set on the server:
// only the addresses, at the settings given. A rate given is the one tried;
// the parity of --parity (none unless given), or with --all-lines every one.
std::vector<LineSettings> LinesToTry(const CtlOptions& o, bool connection) {
    if (connection) {
        return {o.line};
    }
    return ScanLines(
        o.baudGiven ? std::vector<int>{static_cast<int>(o.line.baud)} : ScanBauds(o.scanFast),
        o.scanAllLines ? std::vector<Parity>{Parity::None, Parity::Even, Parity::Odd}
                       : std::vector<Parity>{o.line.parity},
        o.line.stopBits);
}

// Each unit found on standard output as it is found; the progress on
// standard error, on one line kept current, when that is a terminal.
class ScanPrinter : public LineScanObserver {
public:
    explicit ScanPrinter(std::string port) : port_(std::move(port)) {}

    void Trying(const std::string& line, int address) override {
        progress.Show("scan: %17s, address %3d of %d", line.c_str(), address, kScanLastAddress);
    }
    void Found(const std::string& line, int address, bool exception) override {
        progress.Clear();
        std::printf("found: %s, address %d%s\n", line.c_str(), address,
                    exception ? " (exception reply)" : "");
        std::fflush(stdout);
    }
    void Refused(const std::string& line) override {
        std::fprintf(stderr, "k40ctl: %s does not take %s\n", port_.c_str(), line.c_str());
    }
    bool StopRequested() override { return ::StopRequested(); }

    const ProgressLine progress;

private:
    std::string port_;
};

}  // namespace

int RunScan(const CtlOptions& o) {
    CNamedPort port(o.port);
    CModbusComm comm(port);
    comm.m_echoMode = o.echo;
    comm.m_nWaitTime = static_cast<std::uint32_t>(o.waitMs);  // bounds a device server's connect
    std::string why;
    if (!OpenNamedPort(comm, port, &why)) {
        std::fprintf(stderr, "k40ctl: %s\n", why.c_str());
        return kExitPort;
    }
    CatchStopSignals();
    ScanPrinter printer(o.port);
    const LineScanResult result = ScanLineSettings(
        comm, LinesToTry(o, comm.Device()->IsConnection()), o.scanAll, o.waitMs, printer);
    if (result.found > 0 && !o.scanAll) {
        return kExitReply;
    }
    printer.progress.Clear();
    if (result.stopped) {
        std::fprintf(stderr, "k40ctl: scan stopped at %s, address %d\n", result.stoppedLine.c_str(),
                     result.stoppedAddress);
    }
    if (result.found == 0) {
        std::fprintf(stderr, "k40ctl: no unit answered on %s\n", o.port.c_str());
        return kExitTimeout;
    }
    return kExitReply;
}
