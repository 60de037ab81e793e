// Fuzz target: decoding an accepted read reply into list rows. Input: the
// command (first byte) and the frame.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "unit/ReadDecode.h"

namespace {
void Check(bool ok) {
    if (!ok) {
        std::abort();
    }
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 1 || size > 300) {
        return 0;
    }
    const ReadCommand cmd = static_cast<ReadCommand>(data[0] % 3);
    const int records = cmd == ReadCommand::Analog03 ? 10 : 16;
    const int length = static_cast<int>(size - 1);
    const auto rows = DecodeReadReply(cmd, data + 1, length, records);
    Check(static_cast<int>(rows.size()) <= records);
    const int dataBytes = length >= 5 ? std::min<int>(data[3], length - 5) : 0;
    if (cmd == ReadCommand::Analog03) {
        Check(static_cast<int>(rows.size()) <= dataBytes / 2);
    } else {
        Check(static_cast<int>(rows.size()) <= 8 * dataBytes);
    }
    for (std::size_t i = 0; i < rows.size(); ++i) {
        Check(rows[i].index == static_cast<int>(i));
        if (cmd == ReadCommand::Analog03) {
            const double v = std::strtod(rows[i].value.c_str(), nullptr);
            Check(rows[i].value.size() >= 5 && v >= -500.0 && v <= 500.1);
        } else {
            Check(rows[i].value == "0" || rows[i].value == "1");
        }
    }
    return 0;
}
