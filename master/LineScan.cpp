#include "cli/Scan.h"

#include <cstdio>
#include <string>

#include "cli/Console.h"
#include "cli/PortOpen.h"
#include "cli/StopSignal.h"
#include "link/Exchange.h"
#include "unit/ExceptionText.h"

namespace {

constexpr int kFirstAddress = 1;
constexpr int kLastAddress = 254;
// Request 8 bytes, reply to one register 7 bytes.
constexpr int kCharacters = 8 + 7;

}  // namespace

std::vector<int> ScanBauds(bool fast) {
    // The rates the settings page offers.
    std::vector<int> all;
    for (int i = 0; CSerialComm::BaudRate(i) != 0; ++i) {
        all.push_back(static_cast<int>(CSerialComm::BaudRate(i)));
    }
    if (!fast) {
        return all;
    }
    std::vector<int> bauds = {9600, 19200};
    for (auto it = all.rbegin(); it != all.rend(); ++it) {
        if (*it != 9600 && *it != 19200) {
            bauds.push_back(*it);
        }
    }
    return bauds;
}

std::vector<LineSettings> ScanLines(const std::vector<int>& bauds,
                                    const std::vector<Parity>& parities, int stopBits) {
    std::vector<LineSettings> lines;
    for (int baud : bauds) {
        for (Parity parity : parities) {
            lines.push_back(LineSettings{static_cast<std::uint32_t>(baud), parity, stopBits});
        }
    }
    return lines;
}

int ScanWaitMs(const LineSettings& line) {
    const double characterMs = CharacterBits(line) * 1000.0 / line.baud;
    const double gapMs = line.baud > 19200 ? 1.75 : 3.5 * characterMs;
    return static_cast<int>(kCharacters * characterMs + gapMs + 0.999) + kScanMarginMs;
}

namespace {

// The settings tried in turn. A device server's line is set on the server:
// only the addresses, at the settings given. A rate given is the one tried;
// the parity of --parity (none unless given), or with --all-lines every one.
std::vector<LineSettings> LinesToTry(const CtlOptions& o, bool connection) {
    if (connection) {
        return {LineOf(o)};
    }
    return ScanLines(o.baudGiven ? std::vector<int>{o.baud} : ScanBauds(o.scanFast),
                     o.scanAllLines ? std::vector<Parity>{Parity::None, Parity::Even, Parity::Odd}
                                    : std::vector<Parity>{o.parity},
                     o.stopBits);
}

// Every address at the line comm is set to; the units found there, each said
// on standard output; after the first one only with --all.
int ScanAddresses(CModbusComm& comm, const std::string& name, bool all, bool progress) {
    int found = 0;
    for (int address = kFirstAddress; address <= kLastAddress && !StopRequested(); ++address) {
        if (progress) {
            std::fprintf(stderr, "\rscan: %17s, address %3d of %d", name.c_str(), address,
                         kLastAddress);
            std::fflush(stderr);
        }
        comm.m_nSlaveAddr = address;
        const ExchangeResult r = RunExchange(comm, ExchangeVariant::Read, 0x03, 0, 1, nullptr);
        // A gateway's 0A/0B says it found nothing at this unit id.
        if (r.outcome == ExchangeOutcome::Timeout ||
            (r.outcome == ExchangeOutcome::Exception && GatewayFoundNoDevice(r.exceptionCode))) {
            continue;
        }
        if (progress) {
            std::fprintf(stderr, "\r\x1b[K");
        }
        std::printf("found: %s, address %d%s\n", name.c_str(), address,
                    r.outcome == ExchangeOutcome::Exception ? " (exception reply)" : "");
        std::fflush(stdout);
        ++found;
        if (!all) {
            break;
        }
    }
    return found;
}

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
    const bool progress = IsLiveTerminal(2);
    const bool tcp = comm.Device()->IsConnection();
    int found = 0;
    for (const LineSettings& line : LinesToTry(o, tcp)) {
        const std::string name = LineName(line);
        if (!comm.SetLineSettings(line) || comm.SetupPort() == 0) {
            std::fprintf(stderr, "k40ctl: %s does not take %s\n", o.port.c_str(), name.c_str());
            continue;
        }
        comm.m_nWaitTime = static_cast<std::uint32_t>(tcp ? o.waitMs : ScanWaitMs(line));
        found += ScanAddresses(comm, name, o.scanAll, progress);
        if (found > 0 && !o.scanAll) {
            return kExitReply;
        }
        if (StopRequested()) {
            if (progress) {
                std::fprintf(stderr, "\r\x1b[K");
            }
            std::fprintf(stderr, "k40ctl: scan stopped at %s, address %d\n", name.c_str(),
                         comm.m_nSlaveAddr);
            break;
        }
    }
    if (progress) {
        std::fprintf(stderr, "\r\x1b[K");
    }
    if (found == 0) {
        std::fprintf(stderr, "k40ctl: no unit answered on %s\n", o.port.c_str());
        return kExitTimeout;
    }
    return kExitReply;
}
