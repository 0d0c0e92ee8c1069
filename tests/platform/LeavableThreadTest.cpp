#include "platform/core/LeavableThread.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <memory>

namespace spinlorex {
namespace {

using std::chrono::milliseconds;

// A read that nothing answers stands for a hung disk: the owner goes on without the thread,
// and the thread, when the read finally returns, touches only what it shares.
TEST(LeavableThread, LeavesABlockedThreadBehindAndJoinsAFinishedOne) {
    int fds[2];
    ASSERT_EQ(::pipe(fds), 0);
    auto reached = std::make_shared<std::atomic<int>>(0);
    {
        LeavableThread stuck([fd = fds[0], reached] {
            char byte = 0;
            if (::read(fd, &byte, 1) == 1) reached->store(byte);
        });
        EXPECT_FALSE(stuck.joinWithin(milliseconds(20)));
        EXPECT_FALSE(stuck.running());
    }
    ASSERT_EQ(::write(fds[1], "x", 1), 1);  // the left thread ends on its own
    while (reached.use_count() > 1) std::this_thread::yield();
    EXPECT_EQ(reached->load(), 'x');

    LeavableThread quick([reached] { reached->store(1); });
    EXPECT_TRUE(quick.joinWithin(milliseconds(10000)));
    EXPECT_EQ(reached->load(), 1);
    EXPECT_TRUE(LeavableThread().joinWithin(milliseconds(0)));
    ::close(fds[0]);
    ::close(fds[1]);
}

}  // namespace
}  // namespace spinlorex
