// Master tempo as it is heard from a deck: a tone keeps its frequency at every pitch, the
// splices between segments add no click, and a render of a generated track at +8 % is
// pinned bit for bit.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>

#include "platform/settings/Settings.h"
#include "support/DeckHarness.h"
#include "support/Files.h"
#include "support/ToneFit.h"
#include "tools/synth/Synth.h"

namespace spinlorex {
namespace {

using test::DeckHarness;

class MasterTempo : public ::testing::Test {
protected:
    void SetUp() override {
        settings().resetToDefaults();
        set(settings().masterTempo, 1);
    }
    void TearDown() override { settings().resetToDefaults(); }

    // `seconds` of what deck 1 renders of `file` from its start at `pitch`.
    static std::vector<int16_t> render(const std::string& file, int32_t pitch, int seconds) {
        DeckHarness h(DeckHarness::RealReaders{});
        h.call([&] {
            ASSERT_TRUE(h.load(0, file));
            h.deck(0).setPitch(pitch);
            h.deck(0).seekAndPlay(0.0f);
        });
        const size_t frames = static_cast<size_t>(44100 * seconds);
        while (h.capturedFrames(0) < frames) h.runPasses(1);
        std::vector<int16_t> out = h.takeCaptured(0);
        out.resize(2 * frames);
        return out;
    }
    // The largest step from one sample to the next of the same channel, from `fromFrame` on.
    static int largestStep(const std::vector<int16_t>& frames, size_t fromFrame) {
        int largest = 0;
        for (size_t i = 2 * fromFrame + 2; i < frames.size(); ++i)
            largest = std::max(largest, std::abs(frames[i] - frames[i - 2]));
        return largest;
    }
};

TEST_F(MasterTempo, AToneKeepsItsFrequencyAtEveryPitchAndTheSplicesDoNotClick) {
    test::TempDir dir;
    const std::string file = dir.file("tone.wav");
    const std::vector<float> tone = synth::tone(441.0, 20.0, 44100, 2, 0.5);
    ASSERT_TRUE(synth::writeWav(file, tone, 44100, 2, 16));
    const std::vector<int16_t> source = synth::toPcm16(tone);
    const int ownStep = largestStep(source, 0);

    for (const int32_t pitch : {5462, 4424, 4097, 3768, 2730}) {
        SCOPED_TRACE(pitch);
        const std::vector<int16_t> out = render(file, pitch, 6);
        // After the fade-in from silence of the first cross-fade.
        EXPECT_LE(largestStep(out, 512), ownStep + 2);
        for (int second = 1; second < 6; ++second) {
            for (int channel : {0, 1}) {
                const size_t from = static_cast<size_t>(2 * 44100 * second);
                const test::ToneFit fit =
                    test::fitTone(test::channelOf(&out[from], 44100, channel));
                EXPECT_NEAR(fit.hz(), 441.0, 0.05) << second;
                EXPECT_NEAR(fit.amplitude, 0.5 * 32767, 0.02 * 32767) << second;
            }
        }
    }
}

// FNV-1a over the samples' bytes.
uint64_t checksum(const std::vector<int16_t>& samples) {
    uint64_t h = 1469598103934665603ull;
    for (const int16_t s : samples) {
        for (const int shift : {0, 8}) {
            h ^= static_cast<uint8_t>(static_cast<uint16_t>(s) >> shift);
            h *= 1099511628211ull;
        }
    }
    return h;
}

TEST_F(MasterTempo, AGeneratedTrackAtPlusEightPercentRendersAsPinned) {
    // Any change to the splicing, the overlap search or the deck's rendering around it
    // changes these bits; both overlap searches give the same (see PitchRender).
    test::TempDir dir;
    const std::string file = dir.file("track.wav");
    const std::vector<float> music = synth::render({.bpm = 126, .seconds = 12, .seed = 5});
    ASSERT_TRUE(synth::writeWav(file, music, 44100, 2, 16));
    const std::vector<int16_t> out = render(file, 4424, 8);
    EXPECT_EQ(checksum(out), 18244742482246837943ull);
}

}  // namespace
}  // namespace spinlorex
