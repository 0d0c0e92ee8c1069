// The beat grid fitted to generated tracks whose beats are known to the frame and below:
// tempo and phase, tempo changes, the octave a DJ counts, and tracks without a beat.

#include "analysis/BeatGridFit.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>

#include "analysis/OnsetEnvelope.h"
#include "tools/synth/Synth.h"

namespace spinlorex {
namespace {

constexpr double kPrecision = 0.00025;  // seconds: a quarter of a millisecond

BeatGrid gridOf(const std::vector<int16_t>& pcm) {
    OnsetEnvelope envelope;
    for (size_t i = 0; i + 2304 <= pcm.size(); i += 2304) envelope.feed(&pcm[i], 1152);
    return fitBeatGrid(envelope.levels());
}

BeatGrid gridOf(const synth::Params& p) { return gridOf(synth::toPcm16(synth::render(p))); }

// Every beat the synthesiser played from `from` to `to` (its kick's first sample) lies on
// the grid within kPrecision.
void expectBeatsOnGrid(const BeatGrid& grid, double from, double to, double beat) {
    int misses = 0;
    for (double t = from; t < to; t += beat) {
        const GridSection* section = grid.sectionAt(t);
        ASSERT_NE(section, nullptr);
        if (std::abs(section->nearestBeat(t) - t) > kPrecision && ++misses <= 3)
            ADD_FAILURE() << "beat at " << t << " s is off the grid by "
                          << (section->nearestBeat(t) - t) * 1000 << " ms";
    }
    EXPECT_EQ(misses, 0);
}

TEST(BeatGridFit, FindsTempoAndPhaseToAFractionOfAFrameOnSteadyTracks) {
    struct Case {
        double bpm, offset;
        uint32_t seed;
    };
    // Non-round tempi, first beats between frames (a frame is 22.7 us), the octave a DJ
    // counts at both ends of the range: 170 with a kick on every beat, 85 with off-beats.
    for (const Case c : {Case{123.37, 0.0123456, 1}, Case{170.0, 0.31234, 4},
                         Case{85.0, 0.2000113, 2}, Case{98.6, 1.00001, 3}}) {
        SCOPED_TRACE(c.bpm);
        const BeatGrid grid =
            gridOf({.bpm = c.bpm, .seconds = 40, .seed = c.seed, .startOffset = c.offset});
        ASSERT_EQ(grid.sections.size(), 1u);
        EXPECT_GT(grid.fit, 0.9f);
        EXPECT_NEAR(grid.sections[0].bpm(), c.bpm, 0.002);
        EXPECT_EQ(grid.sections[0].start, 0.0);
        expectBeatsOnGrid(grid, c.offset, 39.5, 60.0 / c.bpm);
    }
}

TEST(BeatGridFit, GivesEachTempoItsSectionFromTheBeatWhereItChanges) {
    for (const auto& [first, then] : {std::pair{132.0, 120.0}, std::pair{120.0, 128.0}}) {
        SCOPED_TRACE(first);
        const double offset = 0.0431;
        const double change = offset + 48 * 60.0 / first;
        const BeatGrid grid = gridOf({.bpm = then,
                                      .seconds = 70,
                                      .introBeats = 48,
                                      .introBpm = first,
                                      .introKick = true,
                                      .startOffset = offset});
        ASSERT_EQ(grid.sections.size(), 2u);
        EXPECT_NEAR(grid.sections[0].bpm(), first, 0.005);
        EXPECT_NEAR(grid.sections[1].bpm(), then, 0.005);
        EXPECT_NEAR(grid.sections[1].firstBeat, change, kPrecision);
        EXPECT_LT(grid.sections[1].start, change);
        EXPECT_GT(grid.sections[1].start, change - 60.0 / first);
        expectBeatsOnGrid(grid, offset, change - 0.01, 60.0 / first);
        expectBeatsOnGrid(grid, change, 69.5, 60.0 / then);
        EXPECT_NEAR(grid.mainBpm(70), then, 0.005);
    }
}

// Played drums: kicks three eighths apart (on 1, the "and" of 2, and 4), a snare on 2 and
// 4, swung hi-hats on the off-beats, every hit up to 12 ms early or late. The kicks repeat
// best at 3/2 of the beat; the beat is still the quarter note.
std::vector<int16_t> playedDrums(double bpm, double seconds, float hats, float snare) {
    std::vector<float> mono(static_cast<size_t>(seconds * 44100), 0.0f);
    std::mt19937 random(11);
    std::uniform_real_distribution<double> humanise(-0.012, 0.012);
    std::uniform_real_distribution<float> noise(-1.0f, 1.0f);
    const auto hit = [&](double at, double hz, float level, double decay, float noisy) {
        const auto from = static_cast<size_t>(std::max(0.0, at + humanise(random)) * 44100);
        for (size_t i = from; i < std::min(mono.size(), from + 22050); ++i) {
            const double t = static_cast<double>(i - from) / 44100;
            const double tone = std::sin(2 * M_PI * hz * t);
            mono[i] += level * static_cast<float>(std::exp(-t / decay) *
                                                  ((1 - noisy) * tone + noisy * noise(random)));
        }
    };
    const double beat = 60.0 / bpm;
    for (double bar = 0.1; bar + 4 * beat < seconds; bar += 4 * beat) {
        for (double eighth : {0.0, 3.0, 6.0}) hit(bar + eighth * beat / 2, 55, 0.5f, 0.12, 0.0f);
        for (double b : {1.0, 3.0}) hit(bar + b * beat, 200, snare, 0.08, 0.7f);
        for (double b : {0.0, 1.0, 2.0, 3.0}) hit(bar + (b + 0.62) * beat, 8000, hats, 0.03, 1.0f);
    }
    std::vector<int16_t> pcm;
    for (float v : mono)
        pcm.insert(pcm.end(), 2, static_cast<int16_t>(std::clamp(v, -1.0f, 1.0f) * 20000));
    return pcm;
}

TEST(BeatGridFit, FindsTheBeatOfPlayedSyncopatedDrums) {
    for (const auto& [bpm, hats, snare] :
         {std::tuple{115.0, 0.6f, 0.3f}, std::tuple{130.0, 0.0f, 0.15f}}) {
        SCOPED_TRACE(bpm);
        const BeatGrid grid = gridOf(playedDrums(bpm, 60, hats, snare));
        ASSERT_FALSE(grid.empty());
        EXPECT_NEAR(grid.mainBpm(), bpm, 0.1);
        // On the kick's beats, not the hats' off-beats: the beat at 0.1 s + 4 bars.
        const double downbeat = 0.1 + 16 * 60.0 / bpm;
        EXPECT_NEAR(grid.sectionAt(downbeat)->nearestBeat(downbeat), downbeat, 0.004);
    }
}

TEST(BeatGridFit, TracksWithoutASteadyBeatGetNoSections) {
    // Held chords (the low voicing swells most), a tone and noise.
    EXPECT_TRUE(gridOf({.bpm = 120, .seconds = 40, .seed = 3, .beatless = true}).empty());
    EXPECT_TRUE(gridOf(synth::toPcm16(synth::tone(110.0, 40, 44100, 2, 0.5))).empty());
    std::mt19937 random(7);
    std::normal_distribution<float> noise(0.0f, 4000.0f);
    std::vector<int16_t> pcm(44100 * 2 * 40);
    for (int16_t& s : pcm) s = static_cast<int16_t>(std::clamp(noise(random), -32768.0f, 32767.0f));
    const BeatGrid grid = gridOf(pcm);
    EXPECT_TRUE(grid.empty());
    EXPECT_LT(grid.fit, 0.5f);
}

TEST(OnsetEnvelope, HopsRunOnAcrossPiecesOfAnySize) {
    const std::vector<int16_t> pcm =
        synth::toPcm16(synth::render({.bpm = 120, .seconds = 2, .startOffset = 0.3}));
    OnsetEnvelope whole, pieces;
    whole.feed(pcm.data(), static_cast<int32_t>(pcm.size() / 2));
    for (size_t at = 0, n = 1; at < pcm.size() / 2; at += n, n = n % 37 + 5)
        pieces.feed(&pcm[2 * at], static_cast<int32_t>(std::min(n, pcm.size() / 2 - at)));
    EXPECT_EQ(pieces.levels(), whole.levels());
    EXPECT_EQ(whole.levels().size(), pcm.size() / 2 / OnsetEnvelope::kHopFrames);
}

}  // namespace
}  // namespace spinlorex
