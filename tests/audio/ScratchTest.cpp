// A deck under the hand of its jog wheel: the audio follows the wheel back and forth from
// the source frames, smoothly through direction changes, stops at the track's start,
// decodes again beyond what it kept, and returns to its tempo and position on release.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <vector>

#include "audio/DeckStream.h"
#include "platform/settings/Settings.h"
#include "support/DeckHarness.h"

namespace spinlorex {
namespace {

using test::DeckHarness;
using test::sourceFrame;

constexpr double kFramesPerTurn = 1.8 * 44100.0;

class ScratchTest : public ::testing::Test {
protected:
    void SetUp() override {
        settings().resetToDefaults();
        set(settings().masterTempo, 1);  // bypassed under the hand
        set(settings().autoBpm, 0);
        h.decks().setOptions(DeckOptions::fromSettings(settings()));
        h.call([&] {
            ASSERT_TRUE(h.load(0));
            deck().setPitch(4096);
        });
    }
    void TearDown() override { settings().resetToDefaults(); }

    DeckStream& deck() { return h.deck(0); }
    void call(const std::function<void()>& operation) { h.call(operation); }
    // Turns the wheel by `turns`, spread evenly over `passes` passes, then holds it still
    // for `still` passes.
    void wheel(double turns, int passes, int still = 10) {
        for (int i = 0; i < passes; ++i) {
            deck().turnWheel(turns / passes);
            h.runPasses(1);
        }
        h.runPasses(still);
    }
    // The source frames heard since the last take.
    std::vector<int64_t> heard() {
        const std::vector<int16_t> captured = h.takeCaptured(0);
        std::vector<int64_t> frames(captured.size() / 2);
        for (size_t i = 0; i < frames.size(); ++i) frames[i] = sourceFrame(captured, i);
        return frames;
    }
    double heardPosition() { return deck().position() * static_cast<double>(deck().trackFrames()); }

    DeckHarness h;
};

// Frame-to-frame steps, leaving out those the fake track's encoding garbles: where its low
// 15 bits wrap, an interpolated frame does not tell its index.
std::vector<int64_t> steps(const std::vector<int64_t>& frames) {
    std::vector<int64_t> out;
    for (size_t i = 1; i < frames.size(); ++i) {
        const int64_t low = std::min(frames[i] & 0x7FFF, frames[i - 1] & 0x7FFF);
        const int64_t high = std::max(frames[i] & 0x7FFF, frames[i - 1] & 0x7FFF);
        if (low > 4 && high < 0x7FFF - 4) out.push_back(frames[i] - frames[i - 1]);
    }
    return out;
}

TEST_F(ScratchTest, WheelBackAndForthPlaysTheSourceBackAndForthWithoutASampleStep) {
    call([&] { deck().seekToFrame(110000); });
    call([&] { deck().touchWheel(true); });
    EXPECT_TRUE(deck().scratching());
    EXPECT_FALSE(deck().playing());
    heard();
    wheel(0.1, 20);
    wheel(-0.2, 20);
    wheel(0.05, 10);
    const std::vector<int64_t> frames = heard();
    ASSERT_FALSE(frames.empty());

    const int64_t top = 110000 + std::llround(0.1 * kFramesPerTurn);
    const int64_t bottom = top - std::llround(0.2 * kFramesPerTurn);
    const int64_t last = bottom + std::llround(0.05 * kFramesPerTurn);
    EXPECT_NEAR(*std::max_element(frames.begin(), frames.end()), top, 1);
    EXPECT_NEAR(*std::min_element(frames.begin(), frames.end()), bottom, 1);
    EXPECT_NEAR(frames.back(), last, 1);
    EXPECT_NEAR(heardPosition(), static_cast<double>(last), 2.0);

    // The source in order both ways; where the direction turns, the rate passes through
    // standstill: no step larger than the music's own one frame.
    const std::vector<int64_t> d = steps(frames);
    int turnsSeen = 0;
    int64_t previous = 0;
    for (size_t i = 0; i < d.size(); ++i) {
        ASSERT_LE(std::abs(d[i]), 9) << i;
        if (d[i] == 0) continue;
        if (previous != 0 && (previous > 0) != (d[i] > 0)) {
            ++turnsSeen;
            EXPECT_LE(std::abs(previous), 1) << i;
            EXPECT_LE(std::abs(d[i]), 1) << i;
        }
        previous = d[i];
    }
    EXPECT_EQ(turnsSeen, 2);

    // Released paused: it stays there, and plays on from there (past the fade-in a
    // paused deck's start has in master tempo).
    call([&] { deck().touchWheel(false); });
    EXPECT_FALSE(deck().scratching());
    EXPECT_FALSE(deck().playing());
    call([&] { deck().play(); });
    h.runPasses(2);
    const std::vector<int64_t> after = heard();
    ASSERT_GT(after.size(), 1000u);
    EXPECT_NEAR(after[600] - 600, last, 1);
    for (size_t i = 601; i < 1000; ++i) ASSERT_EQ(after[i], after[i - 1] + 1);
}

TEST_F(ScratchTest, ReleasedPlayingDeckRunsUpToItsTempoFromWhereTheWheelLeftIt) {
    // Varispeed: the hand-over keeps every frame (master tempo would cross-fade there).
    set(settings().masterTempo, 0);
    h.decks().setOptions(DeckOptions::fromSettings(settings()));
    call([&] {
        deck().seekToFrame(100000);
        deck().play();
    });
    h.runPasses(2);
    call([&] { deck().touchWheel(true); });
    heard();
    wheel(0.0, 0, 10);  // the hand stops the record
    const std::vector<int64_t> held = heard();
    ASSERT_GT(held.size(), 1024u);
    EXPECT_EQ(held.back(), held[held.size() - 1024]);
    wheel(-0.05, 5);
    const int64_t left = held.back() - std::llround(0.05 * kFramesPerTurn);
    EXPECT_NEAR(heard().back(), left, 1);

    call([&] { deck().touchWheel(false); });
    EXPECT_TRUE(deck().playing());
    h.runPasses(12);
    const std::vector<int64_t> frames = heard();
    ASSERT_GT(frames.size(), 20000u);
    EXPECT_NEAR(frames.front(), left, 1);
    for (const int64_t step : steps(frames)) ASSERT_TRUE(step >= 0 && step <= 2) << step;
    // Back on the tempo, to the frame.
    for (size_t i = frames.size() - 5000; i < frames.size(); ++i)
        ASSERT_EQ(frames[i], frames[i - 1] + 1) << i;
}

TEST_F(ScratchTest, PastTheTracksStartItStopsThereAndFollowsTheWheelBackAtOnce) {
    call([&] { deck().seekToFrame(20000); });
    call([&] { deck().touchWheel(true); });
    wheel(-1.0, 10);
    EXPECT_EQ(heard().back(), 0);
    EXPECT_NEAR(heardPosition(), 0.0, 0.01);
    wheel(0.05, 5);
    EXPECT_NEAR(heard().back(), std::llround(0.05 * kFramesPerTurn), 1);
}

TEST_F(ScratchTest, BackwardsBeyondWhatWasKeptTheFramesAreDecodedAgain) {
    // Straight after a seek nothing lies behind the heard point.
    call([&] { deck().seekToFrame(280000); });
    call([&] { deck().touchWheel(true); });
    heard();
    wheel(-0.5, 20);
    const std::vector<int64_t> frames = heard();
    for (const int64_t step : steps(frames)) ASSERT_TRUE(step <= 0 && step >= -9) << step;
    // Come to rest, the wheel's own frame exactly.
    EXPECT_EQ(frames.back(), 280000 - std::llround(0.5 * kFramesPerTurn));
}

TEST_F(ScratchTest, InALoopTheWheelLeavesItsBoundsAndTheReleaseDecidesWhetherItGoesOn) {
    call([&] {
        deck().seekToFrame(110000);
        deck().setLoop({105000, 10000.0}, DeckStream::LoopEntry::Keep);
    });
    call([&] { deck().touchWheel(true); });
    wheel(-0.1, 10);
    EXPECT_NEAR(heard().back(), 110000 - 7938, 1);  // before the loop's start
    wheel(0.05, 5);
    call([&] { deck().touchWheel(false); });
    EXPECT_TRUE(deck().looping());  // released inside: it goes on
    call([&] { deck().touchWheel(true); });
    wheel(0.15, 10);
    call([&] { deck().touchWheel(false); });
    EXPECT_FALSE(deck().looping());  // released past its end: it ends
}

}  // namespace
}  // namespace spinlorex
