// "k40ctl census": who is on the line. Every address of a range is asked the
// scan's question (holding register 0, function 03) at the current settings;
// whatever answers, a reply or an exception, is a device. Each device is then
// asked who it is: Read Device Identification (43/14, the basic objects
// vendor, product code and revision), else Report Server ID (17); and the
// HCU-K40 unit, which answers both with exception 01, is recognised by its
// register map. k40ctl identify asks the same of one address.
#pragma once

#include <string>

#include "master/ReadRecord.h"
#include "master/UnitLink.h"

enum class IdentitySource { None, DeviceId, ServerId };  // none, 43/14, 17

struct CensusEntry {
    int address = 0;
    // Something answered at the address: a reply or an exception, but not a
    // gateway's 0A or 0B, which say that no device is there.
    bool device = false;
    // The first answer the device gave (the scan's read, or for identify the
    // identification when that read went unanswered): reply or exception.
    ReadRecord answer;
    bool unit = false;  // the HCU-K40 unit, by its map
    IdentitySource source = IdentitySource::None;
    std::string vendor, product, revision;  // 43/14, as text or hex
    std::string serverId;                   // 17: the server id in hex
    int run = -1;                           // 17: run indicator, 0 off, 1 on, -1 not known
    std::string data;                       // 17: additional data, as text or hex
};

// The link's slave asked as above: the first read waits probeWaitMs, the
// others waitMs. With probeDecides, a first read without an answer ends it
// (no device); otherwise the identification is asked for all the same.
CensusEntry Survey(UnitLink& link, int probeWaitMs, int waitMs, bool probeDecides);

// Bytes a device sent as text when every one is printable ASCII, else as hex
// ("01 FF"); "" for none.
std::string PrintableOrHex(const std::string& bytes);

// What the census tells as it goes, and whom it asks whether to go on.
class CensusObserver {
public:
    virtual ~CensusObserver() = default;
    // Before each address: the address and how many devices were found so far.
    virtual void Trying(int address, int found) { (void)address, (void)found; }
    // A device answered; false ends the census (its output failed).
    virtual bool Found(const CensusEntry& entry) = 0;
    virtual bool StopRequested() { return false; }
};

struct CensusResult {
    int found = 0;
    bool failed = false;   // the observer's Found said false
    bool stopped = false;  // by the observer, after stoppedAt
    int stoppedAt = 0;
};

// Every address of from..to on the open link, asked as Survey does with the
// first read's wait probeWaitMs (a silent address is no device).
CensusResult TakeCensus(UnitLink& link, int from, int to, int probeWaitMs, int waitMs,
                        CensusObserver& observer);
