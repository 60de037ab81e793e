// "k40ctl scan": finds a unit whose baud rate or address is unknown by reading
// holding register 0 (function 03) at every baud rate of the settings page and
// every address 1..254. Any valid frame from the address asked, an exception
// reply included, counts as a unit there.
#pragma once

#include <cstdint>
#include <vector>

#include "cli/CtlOptions.h"

// The baud rates in the order tried: 600..38400, or with fast 9600 and 19200
// first and then the others from the highest down.
std::vector<int> ScanBauds(bool fast);

// The reply wait of one try at a baud rate, in ms: the line time of the
// request (8 bytes) and of the reply (7 bytes) plus the 3.5-character gap that
// ends a frame, 10 bits a character, rounded up, plus kScanMarginMs for the
// USB adapter and the operating system. The request's time is counted because
// a USB adapter may report its queue empty while the bytes are still leaving.
constexpr int kScanMarginMs = 20;
int ScanWaitMs(int baud);

// Runs the scan on o.port; progress on standard error when it is a terminal,
// each unit found on standard output ("found: 4800 baud, address 37").
// 0 when a unit was found, 3 when none, 5 when the port could not be opened.
int RunScan(const CtlOptions& o);
