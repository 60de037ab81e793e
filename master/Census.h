// "k40ctl census": who is on the line. Every address of a range is asked the
// scan's question (holding register 0, function 03) at the current settings;
// whatever answers, a reply or an exception, is a device. Each device is then
// asked who it is: Read Device Identification (43/14, the basic objects
// vendor, product code and revision), else Report Server ID (17); and the
// HCU-K40 unit, which answers both with exception 01, is recognised by its
// register map. "k40ctl identify" asks the same of --slave.
#pragma once

#include <string>

#include "cli/CtlOptions.h"
#include "cli/ReadRecord.h"
#include "cli/UnitLink.h"

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

// The census over o.censusFrom..o.censusTo on the open link, each device on
// standard output as it is found, progress on standard error when it is a
// terminal; SIGINT or SIGTERM ends it after the current try, with what was
// found. 0 when a device answered, 3 when none did.
int RunCensus(const CtlOptions& o, UnitLink& link);
// identify: the survey of --slave on the open link. 0 with an identification (or the unit
// recognised), 4 when the device answered only with exceptions, 3 without an
// answer; a gateway's 0A or 0B is reported as the exception it is (4).
int RunIdentify(const CtlOptions& o, UnitLink& link);
