// What a Modbus device says about itself, and how it is asked: function 43
// with MEI type 14 (Read Device Identification), the basic objects 0
// (VendorName), 1 (ProductCode) and 2 (MajorMinorRevision), read as a stream
// that may come in several replies; else function 17 (Report Server ID).
// Pure functions on the frames; the exchanges run in k40ctl's census.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

// Read code 01: the basic objects as a stream, from the object id asked.
std::vector<std::uint8_t> DeviceIdPdu(std::uint8_t firstObject);
std::vector<std::uint8_t> ServerIdPdu();

// One reply of the stream: its objects by id and where the next reply starts
// when more follow.
struct DeviceIdPage {
    std::map<int, std::string> objects;  // id -> value bytes as they came
    bool moreFollows = false;
    std::uint8_t nextObject = 0;
};
// The reply in RTU form (address, 2B, 0E, read code, conformity, more follows,
// next object id, count, objects, CRC), as the reply search has accepted it;
// false for any other frame. available bounds what may be read.
bool ParseDeviceIdReply(const std::uint8_t* frame, int available, DeviceIdPage& page);

// The reads of one identification: from object 0, then from each page's next
// object while more follow, at most this many replies, so that a device which
// always says more follows cannot hold the census.
constexpr int kMaxDeviceIdRounds = 4;
// The object to ask next after the pages so far, or -1 when the basic objects
// are all there, no more follow, or the device makes no progress.
int NextDeviceIdObject(const DeviceIdPage& page, const std::map<int, std::string>& objects,
                       int rounds);

// Report Server ID's data (after the byte count): the server id up to the run
// indicator, which is the first 00 (off) or FF (on) after at least one byte,
// and the device's additional data after it. Without such a byte all of it
// is the server id and the run indicator is not known.
struct ServerId {
    std::vector<std::uint8_t> id;
    int run = -1;  // 0 off, 1 on, -1 not known
    std::vector<std::uint8_t> data;
};
// The reply in RTU form (address, 11, byte count, data, CRC); false for
// another frame.
bool ParseServerIdReply(const std::uint8_t* frame, int available, ServerId& server);
