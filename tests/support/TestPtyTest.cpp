// The test pseudo-terminal itself: other tests take its word for whether the
// program holds the port, so the word is checked here against plain opens.
#include "tests/support/TestPty.h"

#include <fcntl.h>
#include <unistd.h>

#include <gtest/gtest.h>

namespace {

int OpenSlave(const CTestPty& pty) {
    return ::open(pty.Path().c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
}

TEST(TestPty, SlaveIsOpenFollowsTheOtherSidesDescriptors) {
    CTestPty pty(CTestPty::LeaveSlave);
    ASSERT_TRUE(pty.IsValid());
    EXPECT_FALSE(pty.SlaveIsOpen());
    for (int round = 0; round < 2; ++round) {  // and again after a close
        const int first = OpenSlave(pty);
        ASSERT_GE(first, 0) << round;
        EXPECT_TRUE(pty.SlaveIsOpen()) << round;
        const int second = OpenSlave(pty);
        ASSERT_GE(second, 0) << round;
        ::close(first);
        EXPECT_TRUE(pty.SlaveIsOpen()) << "one of two closed, round " << round;
        ::close(second);
        EXPECT_FALSE(pty.SlaveIsOpen()) << round;
    }
}

TEST(TestPty, AHeldSlaveCountsAsOpen) {
    CTestPty pty;
    ASSERT_TRUE(pty.IsValid());
    EXPECT_TRUE(pty.SlaveIsOpen());
    const int fd = OpenSlave(pty);
    ASSERT_GE(fd, 0);
    ::close(fd);
    EXPECT_TRUE(pty.SlaveIsOpen());  // the master saw no hang-up
}

TEST(TestPty, ReceiveTakesNoMoreThanAskedAndHasInputSeesTheRest) {
    CTestPty pty;
    const int fd = OpenSlave(pty);
    ASSERT_GE(fd, 0);
    EXPECT_FALSE(pty.HasInput());
    const std::uint8_t bytes[] = {1, 2, 3, 4, 5};
    ASSERT_EQ(::write(fd, bytes, sizeof bytes), static_cast<ssize_t>(sizeof bytes));
    EXPECT_EQ(pty.Receive(3), (std::vector<std::uint8_t>{1, 2, 3}));
    EXPECT_TRUE(pty.HasInput());
    EXPECT_EQ(pty.Receive(8, 100), (std::vector<std::uint8_t>{4, 5}));  // short at the time-out
    EXPECT_FALSE(pty.HasInput());
    ::close(fd);
}

}  // namespace
