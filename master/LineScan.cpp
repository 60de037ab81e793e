#include "master/LineScan.h"

#include <string>

#include "link/Exchange.h"
#include "link/SerialComm.h"
#include "unit/ExceptionText.h"

namespace {

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

// Every address at the setting comm is set to; the units found there; after
// the first one only with all.
int ScanAddresses(CModbusComm& comm, const std::string& name, bool all,
                  LineScanObserver& observer) {
    int found = 0;
    for (int address = kScanFirstAddress; address <= kScanLastAddress && !observer.StopRequested();
         ++address) {
        observer.Trying(name, address);
        comm.m_nSlaveAddr = address;
        const ExchangeResult r = RunExchange(comm, ExchangeVariant::Read, 0x03, 0, 1, nullptr);
        // A gateway's 0A/0B says it found nothing at this unit id.
        if (r.outcome == ExchangeOutcome::Timeout ||
            (r.outcome == ExchangeOutcome::Exception && GatewayFoundNoDevice(r.exceptionCode))) {
            continue;
        }
        observer.Found(name, address, r.outcome == ExchangeOutcome::Exception);
        ++found;
        if (!all) {
            break;
        }
    }
    return found;
}

}  // namespace

LineScanResult ScanLineSettings(CModbusComm& comm, const std::vector<LineSettings>& lines, bool all,
                                int connectionWaitMs, LineScanObserver& observer) {
    const bool connection = comm.Device() != nullptr && comm.Device()->IsConnection();
    LineScanResult result;
    for (const LineSettings& line : lines) {
        const std::string name = LineName(line);
        if (!comm.SetLineSettings(line) || comm.SetupPort() == 0) {
            observer.Refused(name);
            continue;
        }
        comm.m_nWaitTime =
            static_cast<std::uint32_t>(connection ? connectionWaitMs : ScanWaitMs(line));
        result.found += ScanAddresses(comm, name, all, observer);
        if (result.found > 0 && !all) {
            return result;
        }
        if (observer.StopRequested()) {
            result.stopped = true;
            result.stoppedLine = name;
            result.stoppedAddress = comm.m_nSlaveAddr;
            break;
        }
    }
    return result;
}
