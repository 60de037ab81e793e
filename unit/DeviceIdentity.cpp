#include "unit/DeviceIdentity.h"

#include <algorithm>

namespace {

constexpr std::uint8_t kDeviceIdFunction = 0x2B;
constexpr std::uint8_t kMeiDeviceId = 0x0E;
constexpr std::uint8_t kServerIdFunction = 0x11;
constexpr std::uint8_t kBasicStream = 0x01;
constexpr int kLastBasicObject = 2;
constexpr int kObjectsAt = 8;  // address, 2B, 0E, read code, conformity, more, next, count

}  // namespace

std::vector<std::uint8_t> DeviceIdPdu(std::uint8_t firstObject) {
    return {kDeviceIdFunction, kMeiDeviceId, kBasicStream, firstObject};
}

std::vector<std::uint8_t> ServerIdPdu() {
    return {kServerIdFunction};
}

bool ParseDeviceIdReply(const std::uint8_t* frame, int available, DeviceIdPage& page) {
    if (available < kObjectsAt + 2 || frame[1] != kDeviceIdFunction || frame[2] != kMeiDeviceId) {
        return false;
    }
    page = DeviceIdPage{};
    page.moreFollows = frame[5] == 0xFF;
    page.nextObject = frame[6];
    int at = kObjectsAt;
    for (int n = frame[7]; n > 0; --n) {
        if (available - at < 2 || available - at - 2 < frame[at + 1]) {
            return false;
        }
        const char* value = reinterpret_cast<const char*>(frame + at + 2);
        page.objects[frame[at]] = std::string(value, frame[at + 1]);
        at += 2 + frame[at + 1];
    }
    return true;
}

int NextDeviceIdObject(const DeviceIdPage& page, const std::map<int, std::string>& objects,
                       int rounds) {
    bool complete = true;
    for (int id = 0; id <= kLastBasicObject; ++id) {
        complete = complete && objects.count(id) != 0;
    }
    if (complete || !page.moreFollows || rounds >= kMaxDeviceIdRounds) {
        return -1;
    }
    // A next object the device has already sent, or one past the basic
    // objects, would only repeat itself.
    if (page.nextObject > kLastBasicObject || objects.count(page.nextObject) != 0) {
        return -1;
    }
    return page.nextObject;
}

bool ParseServerIdReply(const std::uint8_t* frame, int available, ServerId& server) {
    if (available < 6 || frame[1] != kServerIdFunction || frame[2] == 0 ||
        frame[2] + 5 > available) {
        return false;
    }
    const std::uint8_t* data = frame + 3;
    const int count = frame[2];
    server = ServerId{};
    int run = 1;
    while (run < count && data[run] != 0x00 && data[run] != 0xFF) {
        ++run;
    }
    server.id.assign(data, data + std::min(run, count));
    if (run < count) {
        server.run = data[run] == 0xFF ? 1 : 0;
        server.data.assign(data + run + 1, data + count);
    }
    return true;
}
