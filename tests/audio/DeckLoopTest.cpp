// A deck playing round a loop: exact lengths over many rounds, joins without a click, the
// heard point through halving, doubling, moving and leaving the loop, and the track's end.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "audio/DeckStream.h"
#include "audio/LoopedSource.h"
#include "platform/settings/Settings.h"
#include "support/DeckHarness.h"
#include "support/Files.h"
#include "tools/synth/Synth.h"

namespace spinlorex {
namespace {

using test::DeckHarness;
using test::FakeReader;
using test::sourceFrame;
using test::waitFor;

constexpr int32_t kJoin = LoopedSource::kJoinFrames;

class DeckLoopTest : public ::testing::Test {
protected:
    void SetUp() override {
        settings().resetToDefaults();
        set(settings().masterTempo, 0);
        set(settings().autoBpm, 0);
    }
    void TearDown() override { settings().resetToDefaults(); }

    // Plays deck 1 from `from` round `loop` until `frames` frames were rendered.
    std::vector<int16_t> playLoop(DeckHarness& h, int64_t from, LoopSpan loop, size_t frames,
                                  DeckStream::LoopEntry entry = DeckStream::LoopEntry::Keep) {
        DeckStream& deck = h.deck(0);
        deck.seekToFrame(from);
        deck.setLoop(loop, entry);
        h.takeCaptured(0);
        deck.play();
        EXPECT_TRUE(waitFor([&] { return h.capturedFrames(0) >= frames; }));
        deck.pause();
        return h.takeCaptured(0);
    }
};

// Where each round began in the rendered frames: where the source frame is the loop's
// start right after a join.
std::vector<size_t> roundStarts(const std::vector<int16_t>& captured, int64_t start) {
    std::vector<size_t> starts;
    for (size_t i = 1; i < captured.size() / 2; ++i)
        if (sourceFrame(captured, i) == start && sourceFrame(captured, i - 1) != start - 1)
            starts.push_back(i);
    return starts;
}

TEST_F(DeckLoopTest, RoundsKeepTheLoopsExactLengthAndPlayEveryFrameOfIt) {
    DeckHarness h;
    h.startSoundThread();
    ASSERT_TRUE(h.load(0));
    // Four beats at 128 BPM: 82,687.5 frames; and a short loop of a beat at 180 BPM.
    for (const LoopSpan loop : {LoopSpan{100003, 82687.5}, LoopSpan{300000, 14700.0}}) {
        SCOPED_TRACE(loop.length);
        const auto captured = playLoop(h, loop.start + 1000, loop, 44100 * 12);
        const std::vector<size_t> starts = roundStarts(captured, loop.start);
        ASSERT_GE(starts.size(), 5u);
        for (size_t r = 1; r < starts.size(); ++r) {
            const double length = static_cast<double>(starts[r] - starts[r - 1]);
            EXPECT_LE(std::abs(length - loop.length), 0.5) << r;
            // Every frame of the round in order, up to the join's crossfade.
            for (size_t i = starts[r - 1]; i + kJoin < starts[r]; ++i)
                ASSERT_EQ(sourceFrame(captured, i), loop.start + int64_t(i - starts[r - 1]));
        }
        // No drift: rounds 1..n (the first began at the seek) last round((n + 1) x length)
        // - round(length) frames, to the frame.
        const double rounds = static_cast<double>(starts.size() - 1);
        EXPECT_EQ(static_cast<int64_t>(starts.back() - starts.front()),
                  std::llround((rounds + 1) * loop.length) - std::llround(loop.length));
        // The heard point stays inside the loop, and the deck never ends.
        const int64_t heard = std::llround(double{h.deck(0).position()} * 44100 * 20);
        EXPECT_GE(heard, loop.start - 2);
        EXPECT_LE(heard, loop.start + static_cast<int64_t>(loop.length) + 2);
        EXPECT_EQ(h.ended[0], 0);
    }
}

TEST_F(DeckLoopTest, HalvingDoublingMovingAndLeavingKeepTheHeardPointInStep) {
    DeckHarness h;
    h.call([&] { ASSERT_TRUE(h.load(0)); });
    DeckStream& deck = h.deck(0);
    const auto heard = [&] { return std::llround(double{deck.position()} * 44100 * 20); };
    const LoopSpan loop{200000, 40000.0};
    h.call([&] {
        deck.seekToFrame(230000);
        deck.setLoop(loop, DeckStream::LoopEntry::Keep);
    });
    EXPECT_EQ(deck.loopStart(), 200000);
    EXPECT_EQ(heard(), 230000);
    // Halved: 30,000 frames in lies beyond the new end and wraps to 10,000 in.
    h.call([&] { deck.setLoop({200000, 20000.0}, DeckStream::LoopEntry::Keep); });
    EXPECT_EQ(heard(), 210000);
    EXPECT_DOUBLE_EQ(deck.loopLength(), 20000.0);
    // Doubled: stays where it is.
    h.call([&] { deck.setLoop(loop, DeckStream::LoopEntry::Keep); });
    EXPECT_EQ(heard(), 210000);
    // Moved forward by its length: the heard point goes with it.
    h.call([&] { deck.setLoop({240000, 40000.0}, DeckStream::LoopEntry::Carry); });
    EXPECT_EQ(heard(), 250000);
    EXPECT_EQ(deck.loopStart(), 240000);
    // A seek inside keeps looping; leaving plays straight on past the end.
    h.call([&] { deck.seekToFrame(275000); });
    EXPECT_TRUE(deck.looping());
    h.call([&] { deck.endLoop(); });
    EXPECT_FALSE(deck.looping());
    EXPECT_EQ(heard(), 275000);
    h.takeCaptured(0);
    h.call([&] { deck.play(); });
    while (h.capturedFrames(0) < 20000) h.runPasses(1);
    const auto captured = h.takeCaptured(0);
    EXPECT_EQ(sourceFrame(captured, 10000), 285000);
    EXPECT_EQ(sourceFrame(captured, 19999), 294999);  // past the old loop's end
    // A seek outside ends the loop; a loop of nothing or a new track leave none.
    h.call([&] {
        deck.setLoop(loop, DeckStream::LoopEntry::Restart);
        deck.seekToFrame(500000);
    });
    EXPECT_FALSE(deck.looping());
    h.call([&] { deck.setLoop({300000, 10.0}, DeckStream::LoopEntry::Keep); });
    EXPECT_FALSE(deck.looping());
    h.call([&] {
        deck.setLoop(loop, DeckStream::LoopEntry::Restart);
        ASSERT_TRUE(h.load(0));
    });
    EXPECT_FALSE(deck.looping());
}

TEST_F(DeckLoopTest, ALoopAcrossTheTracksEndKeepsItsLengthWithSilencePastTheEnd) {
    DeckHarness h({.frames = 44100 * 4});
    h.startSoundThread();
    ASSERT_TRUE(h.load(0));
    const LoopSpan loop{44100 * 4 - 20000, 30000.0};
    const auto captured = playLoop(h, loop.start, loop, 44100 * 3);
    const std::vector<size_t> starts = roundStarts(captured, loop.start);
    ASSERT_GE(starts.size(), 3u);
    EXPECT_EQ(starts[2] - starts[1], 30000u);
    // The last whole block of the track ends 19,584 frames in; silence after it.
    const size_t silent = starts[1] + 25000;
    EXPECT_EQ(captured[2 * silent], 0);
    EXPECT_EQ(captured[2 * silent + 1], 0);
    EXPECT_EQ(h.ended[0], 0);
}

// The largest step between neighbouring samples in `samples` from `from` for `count`.
int32_t largestStep(const std::vector<int16_t>& samples, size_t from, size_t count) {
    int32_t step = 0;
    for (size_t i = std::max<size_t>(from, 1) * 2; i < std::min(samples.size(), (from + count) * 2);
         ++i)
        step = std::max(step, std::abs(samples[i] - samples[i - 2]));
    return step;
}

TEST_F(DeckLoopTest, JoinsOfShortAndLongLoopsMakeNoClick) {
    // A tone whose cycles do not fit the loops: cut without care, every join would jump.
    test::TempDir dir;
    const std::string wav = dir.file("tone.wav");
    const auto tone = synth::tone(220.0, 30, 44100, 2, 0.5);
    ASSERT_TRUE(synth::writeWav(wav, tone, 44100, 2, 16));
    const std::vector<int16_t> pcm = synth::toPcm16(tone);
    const int32_t ownStep = largestStep(pcm, 0, pcm.size() / 2);

    for (const bool masterTempo : {false, true}) {
        set(settings().masterTempo, masterTempo ? 1 : 0);
        DeckHarness h(DeckHarness::RealReaders{});
        h.startSoundThread();
        ASSERT_TRUE(h.load(0, wav));
        h.deck(0).setPitch(masterTempo ? 4300 : 4096);
        // One beat and 32 beats at 180 BPM.
        for (const double beats : {1.0, 32.0}) {
            SCOPED_TRACE(beats);
            const LoopSpan loop{100000, beats * 14700.0};
            const auto captured = playLoop(h, loop.start, loop, 44100 * 12);
            // A little over the tone's own step where master tempo splices it.
            EXPECT_LE(largestStep(captured, 2000, captured.size() / 2 - 2000),
                      masterTempo ? ownStep * 3 / 2 : ownStep + 2);
        }
    }
}

// The lag, within `reach` of `around`, at which `frames` frames of the left channel from
// `from` repeat most closely.
int64_t repeatLag(const std::vector<int16_t>& x, size_t from, size_t frames, int64_t around,
                  int64_t reach) {
    int64_t best = around;
    double least = -1;
    for (int64_t lag = around - reach; lag <= around + reach; ++lag) {
        double sum = 0;
        for (size_t i = from; i < from + frames; ++i) {
            const double d = x[2 * i] - x[2 * (i + static_cast<size_t>(lag))];
            sum += d * d;
        }
        if (least < 0 || sum < least) {
            least = sum;
            best = lag;
        }
    }
    return best;
}

// Music looped at a pitch repeats after the loop's length over the deck's speed, to the
// frame, round after round without drift.
TEST_F(DeckLoopTest, MusicLoopedAtAPitchRepeatsWithTheLoopsLengthOverTheSpeed) {
    test::TempDir dir;
    for (const double bpm : {128.0, 180.0}) {
        synth::Params params;
        params.bpm = bpm;
        params.seconds = 40;
        const std::string wav = dir.file("music.wav");
        ASSERT_TRUE(synth::writeWav(wav, synth::render(params), 44100, 2, 16));
        DeckHarness h(DeckHarness::RealReaders{});
        h.startSoundThread();
        ASSERT_TRUE(h.load(0, wav));
        for (const int32_t pitch : {4424, 3961}) {
            h.deck(0).setPitch(pitch);
            const double beat = 44100.0 * 60.0 / bpm;
            for (const double beats : {0.125, 1.0, 4.0, 16.0}) {
                SCOPED_TRACE(testing::Message()
                             << bpm << " BPM, pitch " << pitch << ", " << beats << " beats");
                const LoopSpan loop{441000, beats * beat};
                const double period = loop.length * 4096.0 / pitch;
                const int rounds = std::max(4, static_cast<int>(44100 * 2 / period));
                const auto captured = playLoop(h, loop.start, loop,
                                               static_cast<size_t>((rounds + 1) * period) + 2000);
                const auto window = static_cast<size_t>(std::min(period / 2, 4096.0));
                const auto from = static_cast<size_t>(period / 4) + 1000;
                for (const int k : {1, rounds - 1}) {
                    const auto expected = std::llround(k * period);
                    EXPECT_NEAR(repeatLag(captured, from, window, expected, 3), expected, 1)
                        << k << " rounds";
                }
            }
        }
    }
}

}  // namespace
}  // namespace spinlorex
