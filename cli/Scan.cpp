#include "cli/Scan.h"

#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <string>

#include "link/Exchange.h"
#include "link/NamedPort.h"
#include "link/OpenError.h"
#include "link/TcpAddress.h"

namespace {

constexpr int kFirstAddress = 1;
constexpr int kLastAddress = 254;
constexpr int kScanBauds[] = {600, 1200, 2400, 4800, 9600, 19200, 38400};
// Request 8 bytes, reply to one register 7 bytes, frame gap 3.5 characters.
constexpr double kCharacters = 8 + 7 + 3.5;

volatile std::sig_atomic_t g_stopScan = 0;

void OnStop(int) {
    g_stopScan = 1;
}

// Ctrl+C ends the scan after the try under way, with its findings reported.
void CatchStop() {
    struct sigaction sa {};
    sa.sa_handler = OnStop;
    sigemptyset(&sa.sa_mask);
    sigaction(SIGINT, &sa, nullptr);
    sigaction(SIGTERM, &sa, nullptr);
}

int BaudIndex(int baud) {
    for (int i = 0; CSerialComm::BaudRate(i) != 0; ++i) {
        if (CSerialComm::BaudRate(i) == static_cast<std::uint32_t>(baud)) {
            return i;
        }
    }
    return -1;
}

}  // namespace

std::vector<int> ScanBauds(bool fast) {
    if (!fast) {
        return {std::begin(kScanBauds), std::end(kScanBauds)};
    }
    std::vector<int> bauds = {9600, 19200};
    for (auto it = std::rbegin(kScanBauds); it != std::rend(kScanBauds); ++it) {
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
    comm.m_nPort = 0;
    comm.m_echoMode = o.echo;
    if (comm.OpenPort() == 0) {
        std::fprintf(stderr, "k40ctl: cannot open %s: %s\n", o.port.c_str(),
                     OpenErrorText(comm.m_nOpenError).c_str());
        return kExitPort;
    }
    CatchStop();
    const bool progress = isatty(STDERR_FILENO) != 0;
    // A device server's baud rate is set on the server: only the addresses.
    const bool tcp = IsTcpPortName(o.port);
    const std::vector<int> bauds = tcp ? std::vector<int>{o.baud} : ScanBauds(o.scanFast);
    int found = 0;
    for (int baud : bauds) {
        comm.m_nBaud = BaudIndex(baud);
        if (comm.SetupPort() == 0) {
            std::fprintf(stderr, "k40ctl: %s does not take %d baud\n", o.port.c_str(), baud);
            continue;
        }
        comm.m_nWaitTime = static_cast<std::uint32_t>(tcp ? o.waitMs : ScanWaitMs(baud));
        for (int address = kFirstAddress; address <= kLastAddress && g_stopScan == 0; ++address) {
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
        if (g_stopScan != 0) {
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
