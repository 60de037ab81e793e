#include "cli/Scan.h"

#include <cstdio>
#include <string>

#include "cli/Console.h"
#include "cli/PortOpen.h"
#include "cli/StopSignal.h"
#include "link/Exchange.h"

namespace {

constexpr int kFirstAddress = 1;
constexpr int kLastAddress = 254;
// Request 8 bytes, reply to one register 7 bytes, frame gap 3.5 characters.
constexpr double kCharacters = 8 + 7 + 3.5;

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

int ScanWaitMs(int baud) {
    const double lineMs = kCharacters * 10.0 * 1000.0 / baud;
    return static_cast<int>(lineMs + 0.999) + kScanMarginMs;
}

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
    // A device server's baud rate is set on the server: only the addresses.
    const bool tcp = comm.Device()->IsConnection();
    const std::vector<int> bauds = tcp ? std::vector<int>{o.baud} : ScanBauds(o.scanFast);
    int found = 0;
    for (int baud : bauds) {
        comm.m_nBaud = CSerialComm::BaudIndex(static_cast<std::uint32_t>(baud));
        if (comm.SetupPort() == 0) {
            std::fprintf(stderr, "k40ctl: %s does not take %d baud\n", o.port.c_str(), baud);
            continue;
        }
        comm.m_nWaitTime = static_cast<std::uint32_t>(tcp ? o.waitMs : ScanWaitMs(baud));
        for (int address = kFirstAddress; address <= kLastAddress && !StopRequested(); ++address) {
            if (progress) {
                std::fprintf(stderr, "\rscan: %5d baud, address %3d of %d", baud, address,
                             kLastAddress);
                std::fflush(stderr);
            }
            comm.m_nSlaveAddr = address;
            const ExchangeResult r = RunExchange(comm, ExchangeVariant::Read, 0x03, 0, 1, nullptr);
            if (r.outcome == ExchangeOutcome::Timeout) {
                continue;
            }
            if (progress) {
                std::fprintf(stderr, "\r\x1b[K");
            }
            std::printf("found: %d baud, address %d%s\n", baud, address,
                        r.outcome == ExchangeOutcome::Exception ? " (exception reply)" : "");
            std::fflush(stdout);
            ++found;
            if (!o.scanAll) {
                return kExitReply;
            }
        }
        if (StopRequested()) {
            if (progress) {
                std::fprintf(stderr, "\r\x1b[K");
            }
            std::fprintf(stderr, "k40ctl: scan stopped at %d baud, address %d\n", baud,
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
