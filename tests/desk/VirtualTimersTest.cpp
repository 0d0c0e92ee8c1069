#include "desk/VirtualTimers.h"

#include <gtest/gtest.h>

#include <utility>
#include <vector>

namespace spinlorex {
namespace {

TEST(DeskVirtualTimers, FireInTimeOrderRepeatAndMayBeChangedFromTheirCallback) {
    VirtualTimers timers;
    std::vector<std::pair<int64_t, int>> fired;
    timers.setCallback([&](int id) {
        fired.push_back({timers.now(), id});
        if (id == 150) timers.kill(150);  // a one-shot
        if (id == 149 && timers.now() == 400) timers.start(190, 50);
    });
    timers.start(149, 200);
    timers.start(150, 300);
    timers.advance(500);
    const std::vector<std::pair<int64_t, int>> wanted = {
        {200, 149}, {300, 150}, {400, 149}, {450, 190}, {500, 190}};
    EXPECT_EQ(fired, wanted);
    EXPECT_EQ(timers.now(), 500);
    EXPECT_FALSE(timers.running(150));
    EXPECT_TRUE(timers.running(149));
    timers.kill(149);
    timers.kill(190);
    timers.advance(1000);
    EXPECT_EQ(fired.size(), wanted.size());
}

}  // namespace
}  // namespace spinlorex
