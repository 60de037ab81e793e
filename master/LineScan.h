// "k40ctl scan": finds a unit whose baud rate or address is unknown by reading
// holding register 0 (function 03) at every baud rate of the line (and with
// --all-lines every parity) and every address 1..254. Any valid frame from the
// address asked, an exception reply included, counts as a unit there. Stop
// bits are not scanned: a receiver checks only the first, so a master at 8N1
// and a unit at 8N2 (or the other way round) understand each other.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "link/LineSettings.h"
#include "link/ModbusComm.h"

// The baud rates in the order tried: 600..115200, or with fast 9600 and 19200
// first and then the others from the highest down.
std::vector<int> ScanBauds(bool fast);

// The line settings in the order tried: at each of the rates each of the
// parities in turn; stop bits as given.
std::vector<LineSettings> ScanLines(const std::vector<int>& bauds,
                                    const std::vector<Parity>& parities, int stopBits);

// The reply wait of one try with these settings, in ms: the line time of the
// request (8 bytes) and of the reply (7 bytes) plus the 3.5-character gap that
// ends a frame (1.75 ms above 19200 baud), at the character's bits (10, 11 or
// 12), rounded up, plus kScanMarginMs for the USB adapter and the operating
// system. The request's time is counted because a USB adapter may report its
// queue empty while the bytes are still leaving.
constexpr int kScanMarginMs = 20;
int ScanWaitMs(const LineSettings& line);

// The addresses asked at each setting.
constexpr int kScanFirstAddress = 1;
constexpr int kScanLastAddress = 254;

// What the scan tells as it goes, and whom it asks whether to go on.
class LineScanObserver {
public:
    virtual ~LineScanObserver() = default;
    // Before each try: the setting's name ("9600 baud 8N1") and the address.
    virtual void Trying(const std::string& line, int address) { (void)line, (void)address; }
    // Something answered: a reply, or an exception (not a gateway's 0A/0B).
    virtual void Found(const std::string& line, int address, bool exception) = 0;
    // The port does not take the setting; the scan goes on with the next.
    virtual void Refused(const std::string& line) { (void)line; }
    virtual bool StopRequested() { return false; }
};

struct LineScanResult {
    int found = 0;
    bool stopped = false;  // by the observer, at stoppedLine and stoppedAddress
    std::string stoppedLine;
    int stoppedAddress = 0;
};

// Every address at each of the settings in turn, on the open port; after the
// first unit found only with all. The reply wait of a try is ScanWaitMs of
// its setting, or on a device server's connection connectionWaitMs.
LineScanResult ScanLineSettings(CModbusComm& comm, const std::vector<LineSettings>& lines, bool all,
                                int connectionWaitMs, LineScanObserver& observer);
