// The engine's own format, 44100 Hz 16-bit stereo WAV, must come out exactly as it always
// has: what a deck renders and what its analyser measures on a generated track, pinned by
// a checksum and the analysed values taken before the readers learnt other rates and
// formats.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "audio/AudioFormat.h"
#include "platform/settings/Settings.h"
#include "support/DeckHarness.h"
#include "support/Files.h"
#include "support/WavFile.h"
#include "tools/synth/Synth.h"

namespace spinlorex {
namespace {

// FNV-1a over the samples as they lie in a file.
uint64_t checksum(const std::vector<int16_t>& samples) {
    uint64_t h = 14695981039346656037ull;
    for (int16_t s : samples) {
        for (int shift : {0, 8}) {
            h ^= (static_cast<uint16_t>(s) >> shift) & 0xFF;
            h *= 1099511628211ull;
        }
    }
    return h;
}

TEST(PinnedWavOutput, A44100HzSixteenBitStereoTrackRendersAndAnalysesAsBefore) {
    test::TempDir dir;
    const std::string track = dir.file("pinned.wav");
    // 20.5 s: the track ends neither on a whole second nor on a whole block.
    ASSERT_TRUE(synth::writeWav(
        track, synth::render({.bpm = 126, .seconds = 20.5, .seed = 7, .introBeats = 8}), 44100, 2,
        16));
    const test::WavFile source = test::readWav(track);
    const size_t wholeBlocks = source.samples.size() / kBlockSamples * kBlockSamples;

    struct Case {
        bool masterTempo;
        int32_t pitch;
        uint64_t sum;
    };
    // The analysis hears the same decoded blocks whatever the rendering.
    for (const Case& c :
         {Case{false, 4096, 12157622354235468970ull}, Case{true, 3900, 3690071822004957815ull}}) {
        SCOPED_TRACE(c.pitch);
        settings().resetToDefaults();
        set(settings().masterTempo, c.masterTempo ? 1 : 0);
        test::DeckHarness h(test::DeckHarness::RealReaders{});
        DeckStream& deck = h.deck(0);
        h.call([&] {
            ASSERT_TRUE(h.load(0, track));
            deck.setPitch(c.pitch);
            deck.seekAndPlay(0.0f);
        });
        for (int pass = 0; pass < 100000 && h.ended[0] == 0; ++pass) h.runPasses(1);
        ASSERT_EQ(h.ended[0], 1);
        std::vector<int16_t> rendered = h.takeCaptured(0);
        if (c.pitch == 4096) {
            // The file's own samples up to its last whole block, then the silence heard
            // until the deck stops.
            ASSERT_GE(rendered.size(), wholeBlocks);
            EXPECT_TRUE(std::equal(source.samples.begin(),
                                   source.samples.begin() + static_cast<long>(wholeBlocks),
                                   rendered.begin()));
            EXPECT_TRUE(std::all_of(rendered.begin() + static_cast<long>(wholeBlocks),
                                    rendered.end(), [](int16_t s) { return s == 0; }));
        }
        EXPECT_EQ(checksum(rendered), c.sum);
        const TrackAnalysis& a = *deck.analysis();
        EXPECT_EQ(deck.track()->record->currentBpm(), 126.011269f);
        EXPECT_EQ(a.bpmConfidence, 560);
        EXPECT_EQ(a.firstStrongBeat, 0.207705319f);
        EXPECT_EQ(a.lastStrongBeat, 0.974813342f);
        EXPECT_EQ(a.firstStrongBeatLevel, 2104373);
        EXPECT_EQ(a.lastStrongBeatLevel, 1182610);
        EXPECT_EQ(a.peakLevel, 2203249);
        EXPECT_EQ(a.loudnessPeak, 72393);
    }
    settings().resetToDefaults();
}

}  // namespace
}  // namespace spinlorex
