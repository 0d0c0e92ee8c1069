#include <gtest/gtest.h>

#include <climits>
#include <cstdio>

#include "BeatTestSupport.h"

namespace spinlorex {
namespace {

using test::AnalysedDeck;
using test::kBlockFrames;
using test::Track;

const std::vector<int16_t> kSilence(kBlockFrames * 2, 0);

TEST(BeatAnalyser, KernelLengthsFollowTheirRates) {
    DecodeTimeline timeline;
    BeatAnalyser analyser(timeline);
    const int32_t expected[] = {113, 99, 88, 77, 68, 60, 53, 47, 41, 36, 32, 28, 25, 22, 19, 17};
    for (int i = 0; i < BeatAnalyser::kKernels; ++i) EXPECT_EQ(analyser.kernelLength(i), expected[i]) << i;
}

TEST(BeatAnalyser, SilenceHasNoTempoAndStoresNothing) {
    AnalysedDeck d;
    for (int b = 0; b < 300; ++b) d.feed(kSilence.data(), static_cast<float>(b) / 300.0f);
    for (int32_t c : BeatAnalyserProbe::correlation(d.analyser)) ASSERT_EQ(c, 0);
    EXPECT_EQ(d.analyser.blockBpm(), 999.9f);
    EXPECT_EQ(d.analyser.localBpm(), 999.9f);
    EXPECT_EQ(d.record.currentBpm(), 0.0f);
    EXPECT_EQ(d.analysis.bpmConfidence.load(), 0);
    EXPECT_EQ(d.analysis.peakLevel.load(), 1);
    EXPECT_EQ(d.analysis.firstStrongBeat.load(), 0.0f);
    EXPECT_EQ(d.analysis.lastStrongBeat.load(), 0.0f);
    EXPECT_EQ(d.analysis.loudnessPeak.load(), 0);
    EXPECT_EQ(d.analyser.lastLoudness(), 0);
}

// Runs one tempo step on a hand-made correlation (silence leaves it as it is).
struct TempoBench : AnalysedDeck {
    float step(std::initializer_list<std::pair<int32_t, int32_t>> lags) {
        BeatAnalyserProbe::clearCorrelation(analyser);
        for (auto [lag, value] : lags) BeatAnalyserProbe::setCorrelation(analyser, lag, value);
        feed(kSilence.data(), 0.5f);
        return analyser.blockBpm();
    }
};

TEST(BeatAnalyser, TempoStepAppliesTheLagRules) {
    TempoBench t;
    EXPECT_EQ(t.step({{1796, 100}}), 999.9f);
    EXPECT_EQ(t.step({{1795, 100}}), 999.9f);
    EXPECT_EQ(t.step({{1794, 100}}), 147000.0f / 1794);
    EXPECT_EQ(t.step({{456, 100}}), 0.0f);
    EXPECT_EQ(t.step({{457, 100}}), 73500.0f / 457);
    EXPECT_EQ(t.step({{612, 100}, {1224, 100}}), 73500.0f / 612) << "first of equal maxima: the longer lag";
    EXPECT_EQ(t.step({{612, -100}}), 999.9f) << "nothing positive";
    // 900..1089: two beats when the half and one-and-a-half lags outweigh the peak.
    EXPECT_EQ(t.step({{1000, 1000}, {502, 600}, {1498, -401}}), 147000.0f / 1000);
    EXPECT_EQ(t.step({{1000, 1000}, {502, 600}, {1498, -400}}), 73500.0f / 1000);
    EXPECT_EQ(t.step({{1000, 1000}, {503, 900}, {1497, 900}}), 73500.0f / 1000) << "only lags within 2 count";
    EXPECT_EQ(t.step({{1000, INT32_MAX}, {500, INT32_MIN}}), 147000.0f / 1000) << "|INT32_MIN| is 2^31";
    EXPECT_EQ(t.step({{1200, 100}}), 147000.0f / 1200);
    // 1350..1794: two beats unless the third of the lag is stronger than the half.
    EXPECT_EQ(t.step({{1500, 1000}, {750, 50}, {500, -50}}), 147000.0f / 1500);
    EXPECT_EQ(t.step({{1500, 1000}, {750, 50}, {501, 51}}), 220500.0f / 1500);
}

TEST(BeatAnalyser, HistoryPicksTheBestSupportedTempo) {
    TempoBench t;
    t.step({{600, 255}});  // 122.5 BPM, weight 1
    EXPECT_EQ(t.analyser.localBpm(), 73500.0f / 600);
    t.step({{500, 255}});  // 147 BPM, weight 1: equal support, the later entry wins
    EXPECT_EQ(t.analyser.localBpm(), 147.0f);
    t.step({{601, 2559}});  // 122.3 BPM, weight 10, agrees with the first entry
    const float local = t.analyser.localBpm();
    EXPECT_GT(local, 73500.0f / 601);
    EXPECT_LT(local, 73500.0f / 600);
    EXPECT_NEAR(local, (122.5 + 10 * 73500.0 / 601) / 11, 1e-4);
}

TEST(BeatAnalyser, StoredTempoYieldsOnlyToALongerRun) {
    TempoBench t;
    t.deck.timeline.decoding = false;  // silence after the end of the data never counts
    for (int b = 0; b < 5; ++b) t.step({{612, 5000}});
    EXPECT_EQ(t.record.currentBpm(), 0.0f);
    t.deck.timeline.decoding = true;

    t.record.bpm = 99.0f;
    t.analysis.bpmConfidence = 50;
    for (int b = 0; b < 49; ++b) t.step({{612, 5000}});
    EXPECT_EQ(t.record.currentBpm(), 99.0f) << "a run of 49 is weaker than the stored 50";
    t.step({{612, 5000}});
    EXPECT_NEAR(t.record.currentBpm(), 73500.0 / 612, 1e-4);
    EXPECT_EQ(t.analysis.bpmConfidence.load(), 50);

    // A different tempo starts a new run, which must grow as long again.
    for (int b = 0; b < 49; ++b) t.step({{500, 5000}});
    EXPECT_NEAR(t.record.currentBpm(), 73500.0 / 612, 1e-4);

    t.record.bpm = 99.0f;
    t.analysis.bpmConfidence = TrackAnalysis::kHandSetConfidence;
    for (int b = 0; b < 500; ++b) t.step({{612, 5000}});
    EXPECT_EQ(t.record.currentBpm(), 99.0f);
    EXPECT_EQ(t.analysis.bpmConfidence.load(), TrackAnalysis::kHandSetConfidence);
}

TEST(BeatAnalyser, FindsTheTempoOfSyntheticTracks) {
    std::printf("  true BPM | stored BPM | confidence | local BPM\n");
    for (double bpm : {85.0, 96.0, 110.0, 120.0, 128.0, 140.0, 155.0}) {
        const Track track({.bpm = bpm, .seconds = 75, .seed = static_cast<uint32_t>(bpm)});
        AnalysedDeck d;
        d.play(track, 100);
        const float stored = d.record.currentBpm();
        const int32_t confidence = d.analysis.bpmConfidence.load();
        std::printf("  %8.1f | %10.3f | %10d | %9.3f\n", bpm, stored, confidence, d.analyser.localBpm());
        EXPECT_NEAR(stored, bpm, 0.5) << bpm;
        EXPECT_GT(confidence, track.blocks() / 2) << bpm;  // most of the track agreed
        EXPECT_LE(confidence, track.blocks());
    }
}

TEST(BeatAnalyser, StrongBeatsMarkWhereTheKicksPlay) {
    // 16 beats of hats and chords at 120 BPM, kicks from 8 s on, until the end at 40 s.
    const Track track({.bpm = 120, .seconds = 40, .introBeats = 16});
    AnalysedDeck d;
    d.play(track, 200);
    const double seconds = static_cast<double>(track.frames) / 44100.0;
    // An onset step scores the window of up to 113 steps (92 ms) that starts there, so a
    // kick already shows when it enters the end of that window.
    EXPECT_NEAR(d.analysis.firstStrongBeat.load() * seconds, 8.0 - 0.05, 0.05);
    EXPECT_NEAR(d.analysis.lastStrongBeat.load() * seconds, 39.5 - 0.05, 0.05);
    EXPECT_GE(3 * int64_t{d.analysis.firstStrongBeatLevel.load()}, 2 * int64_t{d.analysis.peakLevel.load()});
    EXPECT_GT(d.analysis.loudnessPeak.load(), 0);
}

TEST(BeatAnalyser, BeatPhaseSearchesOneBeatAhead) {
    AnalysedDeck d;
    d.analyser.setAnalysis(nullptr);
    d.deck.timeline.keepFrom = 100 * 36 + 35;  // heard step 100
    d.deck.timeline.decodeWrite = 3100 * 36;
    EXPECT_EQ(d.analyser.beatPhase(), 0) << "no onsets";
    BeatAnalyserProbe::setOnset(d.analyser, 100 + 918, 100);  // just beyond 80 BPM's 918 steps
    BeatAnalyserProbe::setOnset(d.analyser, 100 + 917, 50);
    BeatAnalyserProbe::setOnset(d.analyser, 100 + 611, 40);
    BeatAnalyserProbe::setOnset(d.analyser, 100 + 300, 40);
    EXPECT_EQ(d.analyser.beatPhase(), 917);

    d.analyser.setAnalysis(&d.analysis);
    d.record.bpm = 120.0f;  // 612 steps
    EXPECT_EQ(d.analyser.beatPhase(), 300) << "first of equal maxima";
    d.record.bpm = 1000.0f;  // out of range: 80 BPM again
    EXPECT_EQ(d.analyser.beatPhase(), 917);
    d.deck.timeline.decodeWrite = 500 * 36;  // only 400 steps decoded ahead
    EXPECT_EQ(d.analyser.beatPhase(), 300);
}

TEST(BeatAnalyser, QueriesFindTheKicksAndNothingAfterASeek) {
    const Track track({.bpm = 120, .seconds = 30});
    AnalysedDeck d;
    for (int32_t b = 0; b < 910; ++b) d.feed(track.block(b), track.position(b));

    // The heard frame is 192 blocks behind the written one; kicks every 22050 frames.
    const int64_t heardFrame = (910 - 192) * int64_t{kBlockFrames};
    const int32_t phase = d.analyser.beatPhase();
    const int64_t kick = (heardFrame + 22049) / 22050 * 22050;
    // The onset peaks where the kick fills the selected kernel best: a little before its start.
    const int64_t lead = kick / 36 - (heardFrame / 36 + phase);
    EXPECT_GE(lead, 0);
    EXPECT_LE(lead, 25);

    EXPECT_NEAR(d.analyser.nearestBeat(phase + 40), -40, 2);
    EXPECT_NEAR(d.analyser.nearestBeat(phase - 30), 30, 2);
    EXPECT_NEAR(d.analyser.nearestBeat(phase + 612 + 5), -5, 2) << "the next kick";
    EXPECT_EQ(d.analyser.nearestBeat(192 * 32), 0) << "reference at the write position";

    d.analyser.resetSignal();
    d.deck.restart();
    EXPECT_EQ(d.analyser.beatPhase(), 0);
    EXPECT_EQ(d.analyser.nearestBeat(0), 0);
    d.feed(track.block(0), 0.0f);
    EXPECT_EQ(d.analyser.nearestBeat(10), 0);
}

}  // namespace
}  // namespace spinlorex
