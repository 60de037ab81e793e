// Device identification frames: the objects of 43/14 replies, when the stream
// goes on and when it must stop, and the parts of a 17 reply.
#include "unit/DeviceIdentity.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using Bytes = std::vector<std::uint8_t>;

// pymodbus 3.0's reply: vendor "Acme", product code "K7", revision "1.2", CRC.
const Bytes kPymodbusDeviceId = {0x05, 0x2B, 0x0E, 0x01, 0x83, 0x00, 0x00, 0x03, 0x00,
                                 0x04, 'A',  'c',  'm',  'e',  0x01, 0x02, 'K',  '7',
                                 0x02, 0x03, '1',  '.',  '2',  0xFE, 0x9F};

TEST(DeviceIdentity, RequestsAskTheBasicStream) {
    EXPECT_EQ(DeviceIdPdu(1), (Bytes{0x2B, 0x0E, 0x01, 0x01}));
    EXPECT_EQ(ServerIdPdu(), Bytes{0x11});
}

TEST(DeviceIdentity, ObjectsOfAReply) {
    DeviceIdPage page;
    ASSERT_TRUE(ParseDeviceIdReply(kPymodbusDeviceId.data(),
                                   static_cast<int>(kPymodbusDeviceId.size()), page));
    EXPECT_EQ(page.objects, (std::map<int, std::string>{{0, "Acme"}, {1, "K7"}, {2, "1.2"}}));
    EXPECT_FALSE(page.moreFollows);
    const Bytes more = {1, 0x2B, 0x0E, 0x01, 0x81, 0xFF, 0x01, 0x01, 0x00, 0x01, 'V', 0, 0};
    ASSERT_TRUE(ParseDeviceIdReply(more.data(), static_cast<int>(more.size()), page));
    EXPECT_EQ(page.objects, (std::map<int, std::string>{{0, "V"}}));
    EXPECT_TRUE(page.moreFollows);
    EXPECT_EQ(page.nextObject, 1);
    // An object running past what is there is no reply to read.
    EXPECT_FALSE(ParseDeviceIdReply(more.data(), 10, page));
    const Bytes serverId = {1, 0x11, 0x02, 0x2A, 0xFF, 0, 0};
    EXPECT_FALSE(ParseDeviceIdReply(serverId.data(), static_cast<int>(serverId.size()), page));
}

struct NextCase {
    const char* name;
    bool moreFollows;
    std::uint8_t nextObject;
    std::map<int, std::string> objects;  // gathered so far
    int rounds;
    int next;
};

const NextCase kNextCases[] = {
    {"more follows from object 1", true, 1, {{0, "V"}}, 1, 1},
    {"the last round", true, 2, {{0, "V"}, {1, "P"}}, kMaxDeviceIdRounds - 1, 2},
    {"rounds used up", true, 2, {{0, "V"}, {1, "P"}}, kMaxDeviceIdRounds, -1},
    {"all three there", true, 3, {{0, "V"}, {1, "P"}, {2, "R"}}, 1, -1},
    {"nothing more follows", false, 0, {{0, "V"}}, 1, -1},
    {"the next object is one already sent", true, 0, {{0, "V"}}, 1, -1},
    {"the next object is past the basic ones", true, 0x80, {{0, "V"}}, 1, -1},
};

TEST(DeviceIdentity, TheStreamGoesOnOnlyWhileItMakesProgress) {
    for (const NextCase& c : kNextCases) {
        SCOPED_TRACE(c.name);
        DeviceIdPage page;
        page.moreFollows = c.moreFollows;
        page.nextObject = c.nextObject;
        EXPECT_EQ(NextDeviceIdObject(page, c.objects, c.rounds), c.next);
    }
}

struct ServerCase {
    const char* name;
    Bytes data;  // after the byte count
    Bytes id;
    int run;
    Bytes more;
};

const ServerCase kServerCases[] = {
    {"one byte and on", {0x2A, 0xFF}, {0x2A}, 1, {}},
    {"pymodbus's name and on", {'P', 'y', 0xFF}, {'P', 'y'}, 1, {}},
    {"off, then device data", {0x01, 0x00, 'x', 'y'}, {0x01}, 0, {'x', 'y'}},
    {"an id byte that looks like a run indicator", {0xFF, 0x00}, {0xFF}, 0, {}},
    {"no run indicator", {0x2A, 0x2B}, {0x2A, 0x2B}, -1, {}},
};

TEST(DeviceIdentity, PartsOfAServerIdReply) {
    for (const ServerCase& c : kServerCases) {
        SCOPED_TRACE(c.name);
        Bytes frame = {7, 0x11, static_cast<std::uint8_t>(c.data.size())};
        frame.insert(frame.end(), c.data.begin(), c.data.end());
        frame.insert(frame.end(), {0, 0});  // CRC
        ServerId server;
        ASSERT_TRUE(ParseServerIdReply(frame.data(), static_cast<int>(frame.size()), server));
        EXPECT_EQ(server.id, c.id);
        EXPECT_EQ(server.run, c.run);
        EXPECT_EQ(server.data, c.more);
        EXPECT_FALSE(ParseServerIdReply(frame.data(), static_cast<int>(frame.size()) - 1, server));
    }
}

}  // namespace
