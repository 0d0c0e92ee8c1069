// The sound thread's message queue while the main thread is held up.

#include "desk/DeskMessages.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <thread>
#include <vector>

namespace spinlorex {
namespace {

std::vector<std::pair<int, int>> takeAll(DeskMessageQueue& queue) {
    std::vector<std::pair<int, int>> got;
    DeskMessageQueue::Message m{};
    while (queue.take(m)) got.emplace_back(m.message, m.deck);
    return got;
}

TEST(DeskMessageQueue, AStalledMainThreadLosesNoTrackEndAndGetsOneStartPerDeck) {
    DeskMessageQueue queue;
    // Near the end of deck 1's track the sound thread asks every pass to start deck 2;
    // the track ends; meanwhile nothing is taken.
    for (int pass = 0; pass < 500; ++pass) queue.post(kMessageStartDeck, 1);
    queue.post(kMessageTrackEnded, 0);
    queue.post(kMessageStartDeck, 0);
    queue.post(kMessageStartDeck, 1);
    EXPECT_EQ(takeAll(queue),
              (std::vector<std::pair<int, int>>{
                  {kMessageStartDeck, 1}, {kMessageTrackEnded, 0}, {kMessageStartDeck, 0}}));
    // Once taken, a start may come again.
    queue.post(kMessageStartDeck, 1);
    EXPECT_EQ(takeAll(queue).size(), 1u);

    // More track ends than the queue holds: every one arrives, after what was queued.
    for (int i = 0; i < 100; ++i) queue.post(kMessageTrackEnded, i % 2);
    const auto got = takeAll(queue);
    ASSERT_EQ(got.size(), 100u);
    EXPECT_EQ(std::count(got.begin(), got.end(), std::make_pair(kMessageTrackEnded, 0)), 50);
    EXPECT_EQ(std::count(got.begin(), got.end(), std::make_pair(kMessageTrackEnded, 1)), 50);
}

TEST(DeskMessageQueue, MessagesCrossThreadsInOrder) {
    DeskMessageQueue queue;
    constexpr int kPosts = 20000;
    std::thread sound([&] {
        for (int i = 0; i < kPosts; ++i) queue.post(kMessageTrackEnded, i % 2);
    });
    int received = 0;
    DeskMessageQueue::Message m{};
    while (received < kPosts) {
        if (queue.take(m)) {
            EXPECT_EQ(m.message, kMessageTrackEnded);
            ++received;
        } else {
            std::this_thread::yield();
        }
    }
    sound.join();
    EXPECT_FALSE(queue.take(m));
}

}  // namespace
}  // namespace spinlorex
