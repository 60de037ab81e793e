// How a name's addresses share the connect's wait.
#include <gtest/gtest.h>

#include "link/TcpDevice.h"

namespace {

TEST(TcpDevice, EachAddressOfANameGetsItsShareOfTheWait) {
    struct Case {
        std::uint32_t left;
        std::size_t untried;
        std::uint32_t share;
    };
    const Case cases[] = {
        {1500, 2, 750},  // localhost: ::1 then 127.0.0.1
        {750, 1, 750},   // the last address gets all that is left
        {1500, 1, 1500}, {1000, 3, 333},
        {1, 2, 0},  // too little to share: the next one takes it
        {0, 4, 0},       {50000, 0, 50000},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(ConnectShare(c.left, c.untried), c.share) << c.left << " / " << c.untried;
    }
}

}  // namespace
