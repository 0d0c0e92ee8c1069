// The jog wheels on the desk: a paused deck's fine move lands on exact frames, a playing
// deck's nudge bends the tempo and comes back, and a touched wheel scratches a turn to
// 1.8 s.

#include "desk/DeskJog.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "audio/DeckStream.h"
#include "platform/settings/Settings.h"
#include "support/DeckHarness.h"

namespace spinlorex {
namespace {

using test::DeckHarness;
using test::sourceFrame;

class DeskJogTest : public ::testing::Test {
protected:
    void SetUp() override {
        settings().resetToDefaults();
        set(settings().masterTempo, 0);
        set(settings().autoBpm, 0);
        h.decks().setOptions(DeckOptions::fromSettings(settings()));
        h.call([&] {
            ASSERT_TRUE(h.load(0));
            deck().setPitch(4096);
            deck().seekToFrame(200000);
        });
    }
    void TearDown() override { settings().resetToDefaults(); }

    DeckStream& deck() { return h.deck(0); }
    // The source frame a paused deck plays first.
    int64_t playsFrom() {
        h.takeCaptured(0);
        h.call([&] { deck().play(); });
        h.runPasses(1);
        const std::vector<int16_t> captured = h.takeCaptured(0);
        h.call([&] { deck().pause(); });
        return captured.empty() ? -1 : sourceFrame(captured, 0);
    }

    DeckHarness h;
    DeskJog jog{{&h.deck(0), &h.deck(1)}};
};

TEST_F(DeskJogTest, PausedWheelMovesThePositionByExactFrames) {
    h.call([&] {
        jog.turn(0, 0.25);
        for (int i = 0; i < 10; ++i) jog.turn(0, 0.001);  // 44.1 frames each: the parts add up
    });
    EXPECT_EQ(deck().position(), static_cast<float>(211466.0 / 882000.0));
    h.call([&] { jog.turn(0, -0.5); });
    EXPECT_EQ(playsFrom(), 200000 + 11025 + 441 - 22050);
    EXPECT_FALSE(jog.takeNudge(0));
}

TEST_F(DeskJogTest, NudgeBendsTheTempoInProportionAndComesBack) {
    h.call([&] { deck().play(); });
    h.runPasses(3);
    const std::vector<int16_t> before = h.takeCaptured(0);
    const int64_t next = sourceFrame(before, before.size() / 2 - 1) + 1;
    jog.turn(0, 0.5);
    EXPECT_TRUE(jog.takeNudge(0));
    EXPECT_FALSE(jog.takeNudge(0));
    h.runPasses(20);
    const std::vector<int16_t> after = h.takeCaptured(0);
    const size_t n = after.size() / 2;
    ASSERT_GT(n, 20000u);
    int64_t fastest = 0;
    for (size_t i = 1; i < 2048; ++i)
        fastest = std::max<int64_t>(fastest, sourceFrame(after, i) - sourceFrame(after, i - 1));
    EXPECT_GE(fastest, 2);  // half a turn at once: a strong bend
    // Back on the tempo, ahead by half a turn's 0.05 s.
    for (size_t i = n - 3000; i < n; ++i)
        ASSERT_EQ(sourceFrame(after, i), next + int64_t(i) + 2205) << i;
}

TEST_F(DeskJogTest, TouchedWheelScratchesATurnToOnePointEightSeconds) {
    h.call([&] { jog.touch(0, true); });
    EXPECT_TRUE(deck().scratching());
    jog.turn(0, 0.25);
    h.runPasses(20);
    h.call([&] { jog.touch(0, false); });
    EXPECT_FALSE(deck().scratching());
    EXPECT_FALSE(deck().playing());
    EXPECT_EQ(playsFrom(), 200000 + 19845);
}

}  // namespace
}  // namespace spinlorex
