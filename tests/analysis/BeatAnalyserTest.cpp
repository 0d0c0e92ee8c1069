// The beat analyser: what its tempo, strong beats and beat queries mean, on made-up
// correlations and synthetic tracks; and its vector code and batched ring arithmetic,
// which must give exactly what plain step-by-step arithmetic gives.

#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <climits>
#include <cmath>
#include <memory>
#include <numbers>
#include <random>
#include <span>
#include <vector>

#include "analysis/BeatAnalyser.h"
#include "tools/synth/Synth.h"

namespace spinlorex {

// Reaches into the analyser for what its public face does not show.
struct BeatAnalyserProbe {
    static std::span<const int32_t> correlation(const BeatAnalyser& a) {
        return {a.correlation_.data(), beat::kLags};
    }
    static void useKernels(BeatAnalyser& a, const beat::Kernels& kernels) { a.kernels_ = &kernels; }
    // Accumulator of `lag` (451..1800). With a silent bass ring, feeding silence keeps it.
    static void setCorrelation(BeatAnalyser& a, int32_t lag, int32_t value) {
        a.correlation_[static_cast<size_t>(1800 - lag)] = value;
    }
    static void clearCorrelation(BeatAnalyser& a) { a.correlation_.fill(0); }
    static void setOnset(BeatAnalyser& a, int32_t step, int32_t value) {
        a.onsetRing_[static_cast<uint32_t>(step) % BeatAnalyser::kRingSteps].store(value);
    }
};

namespace {

constexpr int32_t kBlockFrames = 1152;
constexpr int32_t kRingFrames = DecodeTimeline::kRingFrames;
const std::vector<int16_t> kSilence(kBlockFrames * 2, 0);

// Keeps a deck's decode state the way a deck playing a track from its start does: blocks
// are decoded up to 192 ahead of the heard one, which then moves on a block at a time.
struct DeckTimeline {
    DecodeTimeline timeline;
    int32_t cursor = 0;
    int64_t fed = 0;

    DeckTimeline() { timeline.decoding = true; }
    // Call before handing the block at `position` (-1 for a silent block) to the analysers.
    void beginBlock(float position) {
        timeline.blockPositions[cursor] = position;
        if (position < 0) timeline.decoding = false;
    }
    void endBlock() {
        ++fed;
        cursor = (cursor + 1) % DecodeTimeline::kRingBlocks;
        timeline.decodeWrite = static_cast<int32_t>((fed * kBlockFrames) % kRingFrames);
        timeline.keepFrom =
            static_cast<int32_t>((std::max<int64_t>(0, fed - 192) * kBlockFrames) % kRingFrames);
        timeline.unfilledFrames = std::max(0, timeline.unfilledFrames.load() - kBlockFrames);
    }
    // After a seek to the start: the ring is empty again and the heard frame is the next written.
    void restart() {
        timeline.blockPositions.fill(0.0f);
        timeline.keepFrom = timeline.decodeWrite.load();
        timeline.unfilledFrames = kRingFrames;
        timeline.decoding = true;
    }
};

// A track as 16-bit stereo blocks, the last one padded with silence.
struct Track {
    std::vector<int16_t> pcm;
    int64_t frames = 0;

    explicit Track(const synth::Params& params) : pcm(synth::toPcm16(synth::render(params))) {
        frames = static_cast<int64_t>(pcm.size() / 2);
        pcm.resize(static_cast<size_t>(blocks()) * kBlockFrames * 2);
    }
    int32_t blocks() const {
        return static_cast<int32_t>((frames + kBlockFrames - 1) / kBlockFrames);
    }
    const int16_t* block(int32_t b) const {
        return &pcm[static_cast<size_t>(b) * kBlockFrames * 2];
    }
    float position(int32_t b) const {
        return static_cast<float>(static_cast<double>(b) * kBlockFrames /
                                  static_cast<double>(frames));
    }
};

// A track record with its analysis block.
struct RecordValues {
    TrackRecord record;
    TrackAnalysis analysis;
    RecordValues() { analysis.owner = &record; }
};

// An analyser writing to its own record, fed through its own timeline or a shared one.
struct AnalysedDeck : RecordValues {
    DeckTimeline deck;
    BeatAnalyser analyser;

    explicit AnalysedDeck(const DecodeTimeline* shared = nullptr)
        : analyser(shared ? *shared : deck.timeline) {
        analyser.setAnalysis(&analysis);
    }
    void feed(const int16_t* block, float position) {
        deck.beginBlock(position);
        analyser.feedBlock(block);
        deck.endBlock();
    }
    // The whole track, then `tailBlocks` silent blocks as after the end of the data.
    void play(const Track& track, int32_t tailBlocks = 0) {
        for (int32_t b = 0; b < track.blocks(); ++b) feed(track.block(b), track.position(b));
        for (int32_t b = 0; b < tailBlocks; ++b) feed(kSilence.data(), -1.0f);
    }
};

TEST(BeatAnalyser, SilenceHasNoTempoAndStoresNothing) {
    AnalysedDeck d;
    for (int b = 0; b < 300; ++b) d.feed(kSilence.data(), static_cast<float>(b) / 300.0f);
    for (int32_t c : BeatAnalyserProbe::correlation(d.analyser)) ASSERT_EQ(c, 0);
    EXPECT_EQ(d.analyser.blockBpm(), 999.9f);
    EXPECT_EQ(d.analyser.localBpm(), 999.9f);
    EXPECT_EQ(d.analyser.lastLoudness(), 0);
    EXPECT_EQ(d.record.currentBpm(), 0.0f);
    // Every stored value keeps its default: 1 for the peak level, else 0.
    for (int i = 0; i < TrackAnalysis::kStoredValues; ++i)
        EXPECT_EQ(d.analysis.storedWord(i), i == 7 ? 1u : 0u) << i;
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
    EXPECT_EQ(t.step({{612, 100}, {1224, 100}}), 73500.0f / 612)
        << "first of equal maxima: the longer lag";
    EXPECT_EQ(t.step({{612, -100}}), 999.9f) << "nothing positive";
    // 900..1089: two beats when the half and one-and-a-half lags outweigh the peak.
    EXPECT_EQ(t.step({{1000, 1000}, {502, 600}, {1498, -401}}), 147000.0f / 1000);
    EXPECT_EQ(t.step({{1000, 1000}, {502, 600}, {1498, -400}}), 73500.0f / 1000);
    EXPECT_EQ(t.step({{1000, 1000}, {503, 900}, {1497, 900}}), 73500.0f / 1000)
        << "only lags within 2 count";
    EXPECT_EQ(t.step({{1000, INT32_MAX}, {500, INT32_MIN}}), 147000.0f / 1000)
        << "|INT32_MIN| is 2^31";
    EXPECT_EQ(t.step({{1089, 100}}), 73500.0f / 1089);
    EXPECT_EQ(t.step({{1090, 100}}), 147000.0f / 1090) << "1090..1349: always two beats";
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
    EXPECT_NEAR(t.analyser.localBpm(), (122.5 + 10 * 73500.0 / 601) / 11, 1e-4);
}

TEST(BeatAnalyser, StoredTempoYieldsOnlyToALongerRunAndNeverToAHandSetOne) {
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
    for (double bpm : {85.0, 96.0, 110.0, 120.0, 128.0, 140.0, 155.0}) {
        const Track track({.bpm = bpm, .seconds = 75, .seed = static_cast<uint32_t>(bpm)});
        AnalysedDeck d;
        d.play(track, 100);
        EXPECT_NEAR(d.record.currentBpm(), bpm, 0.5) << bpm;
        // Most of the track agreed.
        EXPECT_GT(d.analysis.bpmConfidence.load(), track.blocks() / 2) << bpm;
        EXPECT_LE(d.analysis.bpmConfidence.load(), track.blocks()) << bpm;
    }
}

TEST(BeatAnalyser, StrongBeatsMarkWhereTheKicksPlay) {
    // 16 beats of hats and chords at 120 BPM, kicks from 8 s on, until the end at 40 s.
    const Track track({.bpm = 120, .seconds = 40, .introBeats = 16});
    AnalysedDeck d;
    d.play(track, 200);
    const double seconds = static_cast<double>(track.frames) / 44100.0;
    // An onset step scores the window of up to 113 steps (92 ms) that starts there, so a
    // kick already shows when it enters the end of that window. The kicks vary in strength
    // with the chords around them: the mark is one of the first bar's.
    const double first = d.analysis.firstStrongBeat.load() * seconds;
    EXPECT_GT(first, 8.0 - 0.1);
    EXPECT_LT(first, 10.0);
    EXPECT_NEAR(d.analysis.lastStrongBeat.load() * seconds, 39.5 - 0.05, 0.05);
    EXPECT_GE(3 * int64_t{d.analysis.firstStrongBeatLevel.load()},
              2 * int64_t{d.analysis.peakLevel.load()});
    EXPECT_GT(d.analysis.loudnessPeak.load(), 0);
}

// The rhythm strip reads the peak from another thread while a load may free the block.
TEST(BeatAnalyser, KeepsACopyOfThePeakLevelThatOutlivesTheBlock) {
    AnalysedDeck d;
    EXPECT_EQ(d.analyser.peakLevel(), 1);  // a fresh block's peak
    const Track track({.bpm = 126, .seconds = 6});
    for (int32_t b = 0; b < track.blocks(); ++b) {
        d.feed(track.block(b), track.position(b));
        ASSERT_EQ(d.analyser.peakLevel(), d.analysis.peakLevel.load()) << b;
    }
    EXPECT_GT(d.analyser.peakLevel(), 1);
    // Another deck on the same track raised the shared block's peak: seen with the next block.
    d.analysis.peakLevel = d.analysis.peakLevel.load() * 2;
    d.feed(kSilence.data(), -1.0f);
    EXPECT_EQ(d.analyser.peakLevel(), d.analysis.peakLevel.load());

    RecordValues stored;
    stored.analysis.peakLevel = 7777;  // as read from the database file
    d.analyser.setAnalysis(&stored.analysis);
    EXPECT_EQ(d.analyser.peakLevel(), 7777);
    d.analyser.resetForTrack();
    EXPECT_EQ(d.analyser.peakLevel(), 0);
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

// ---- Every kernel version against the step-by-step reference ----

constexpr auto kRelaxed = std::memory_order_relaxed;
int32_t wrap(int32_t i) { return ((i % 8192) + 8192) % 8192; }

// The beat analysis written the slow, obvious way: one step at a time, every ring index
// taken modulo 8192, the tempo history's support counted afresh each block.
struct ReferenceBeatAnalyser {
    explicit ReferenceBeatAnalyser(const DecodeTimeline& timeline) : timeline(timeline) {
        for (int i = 0; i < 16; ++i) {
            const float f = static_cast<float>(std::exp(i / 8.0 - 2.65));
            kernelLength[i] = static_cast<int32_t>(8 / f);
            for (int k = 0; k < kernelLength[i]; ++k)
                taps[i][k] = static_cast<int32_t>(
                    4096 * std::sin((2 * std::numbers::pi / f) * std::log(1 + k * double{f} / 4)) /
                    std::sqrt(kernelLength[i]));
        }
    }
    void resetForTrack() {
        resetSignal();
        analysis = nullptr;
        localBpm = runningSum = 0, runningCount = 1, lastLoudness = 0;
        historyBpm.fill(0), historyWeight.fill(0);
    }
    void resetSignal() {
        bassRing.fill(0), correlation.fill(0), onsetRing.fill(0), windowSum = windowBlocks = 0;
    }

    void feedBlock(const int16_t* block) {
        for (int step = 0; step < 32; ++step, ++cursor) {
            int32_t s = 0;
            for (int i = 0; i < 72; ++i) s += block[step * 72 + i];
            const int32_t x = s / 4096, p = cursor;
            for (int k = 0; k < 1350; ++k) {
                correlation[k] += static_cast<uint32_t>(x * bassRing[wrap(p - 1800 + k)]);
                correlation[k] -=
                    static_cast<uint32_t>(bassRing[wrap(p - 4344)] * bassRing[wrap(p - 6144 + k)]);
            }
            bassRing[p] = static_cast<int16_t>(x);
            onsetStep(wrap(p - 113));
            windowSum += std::abs(x);
        }
        cursor %= 8192;
        tempoStep();
        if (++windowBlocks == 60) {
            if (analysis != nullptr && windowSum > analysis->loudnessPeak.load(kRelaxed))
                analysis->loudnessPeak.store(windowSum, kRelaxed);
            lastLoudness = windowSum;
            windowSum = windowBlocks = 0;
        }
    }

    void onsetStep(int32_t q) {
        int32_t v = 0;
        for (int i = 0; i < 16; ++i) {
            int32_t sum = 0;
            for (int k = 0; k < kernelLength[i]; ++k) sum += taps[i][k] * bassRing[wrap(q + k)];
            const int32_t r = std::abs(sum);
            if (r > bestResponse) bestResponse = r, bestKernel = i;
            if (i == selectedKernel) v = r;
        }
        onsetRing[q] = v;
        if (analysis == nullptr) return;
        TrackAnalysis& a = *analysis;
        const int64_t peak = std::max<int64_t>(a.peakLevel.load(kRelaxed), v);
        a.peakLevel.store(static_cast<int32_t>(peak), kRelaxed);
        const float pos = timeline.blockPositions[q / 32];
        if (pos > 0 && 3 * int64_t{v} > 2 * peak &&
            (3 * int64_t{a.firstStrongBeatLevel.load(kRelaxed)} < 2 * peak ||
             pos < a.firstStrongBeat.load(kRelaxed))) {
            a.firstStrongBeat.store(pos, kRelaxed);
            a.firstStrongBeatLevel.store(v, kRelaxed);
        }
        if (pos < 1.0f && 2 * int64_t{v} > peak &&
            !(2 * int64_t{a.lastStrongBeatLevel.load(kRelaxed)} >= peak &&
              pos <= a.lastStrongBeat.load(kRelaxed))) {
            a.lastStrongBeat.store(pos, kRelaxed);
            a.lastStrongBeatLevel.store(v, kRelaxed);
        }
        if (stepCounter++ % 1024 == 0) {
            if (2 * int64_t{bestResponse} >= peak || stepCounter >= 4097)
                selectedKernel = bestKernel, stepCounter = 1;
            bestResponse = 0;
        }
    }

    // The strongest |correlation| within 2 of `lag`.
    int64_t m(int32_t lag) const {
        int64_t best = 0;
        for (int32_t l = lag - 2; l <= lag + 2; ++l)
            if (l >= 451 && l <= 1800)
                best =
                    std::max(best, std::abs(int64_t{static_cast<int32_t>(correlation[1800 - l])}));
        return best;
    }

    void tempoStep() {
        int32_t kStar = 0, maximum = 0;
        for (int k = 0; k < 1350; ++k)
            if (static_cast<int32_t>(correlation[k]) > maximum)
                maximum = static_cast<int32_t>(correlation[k]), kStar = k;
        const int32_t L = 1800 - kStar;
        if (L >= 1795)
            blockBpm = 999.9f;
        else if (L <= 456)
            blockBpm = 0;
        else if (L < 900)
            blockBpm = 73500.0f / L;
        else if (L < 1090)
            blockBpm = m(L / 2) + m(3 * L / 2) > maximum ? 147000.0f / L : 73500.0f / L;
        else if (L < 1350)
            blockBpm = 147000.0f / L;
        else
            blockBpm = m(L / 2) >= m(L / 3) ? 147000.0f / L : 220500.0f / L;

        historyBpm[historyCursor] = blockBpm;
        historyWeight[historyCursor] = maximum / 256 + 1;
        historyCursor = (historyCursor + 1) % 64;

        int64_t bestSupport = -1;
        float best = 0;
        for (int j = 0; j < 64; ++j) {
            int64_t support = historyWeight[j];
            for (int i = j + 1; i < 64; ++i)
                if (std::fabs(historyBpm[i] - historyBpm[j]) < 2.0f) support += historyWeight[i];
            if (support >= bestSupport) bestSupport = support, best = historyBpm[j];
        }
        localBpm = best;
        if (!(best >= 1.0f && best <= 999.0f)) return;
        double sum = 0;
        int64_t weights = 0;
        for (int j = 0; j < 64; ++j)
            if (std::fabs(historyBpm[j] - best) < 2.0f)
                sum += double{historyBpm[j]} * historyWeight[j], weights += historyWeight[j];
        localBpm = static_cast<float>(sum / static_cast<double>(weights));
        if (!timeline.decoding.load(kRelaxed)) return;
        const bool sameRun =
            std::fabs(localBpm - runningSum / static_cast<float>(runningCount)) < 2.0f;
        runningSum = sameRun ? runningSum + localBpm : localBpm;
        runningCount = sameRun ? runningCount + 1 : 1;
        if (analysis != nullptr && runningCount >= analysis->bpmConfidence.load(kRelaxed)) {
            analysis->owner->bpm.store(runningSum / static_cast<float>(runningCount), kRelaxed);
            analysis->bpmConfidence.store(runningCount, kRelaxed);
        }
    }

    const DecodeTimeline& timeline;
    TrackAnalysis* analysis = nullptr;
    std::array<uint32_t, 1350> correlation{};
    std::array<int32_t, 8192> onsetRing{};
    std::array<int16_t, 8192> bassRing{};
    float localBpm = 0.0f, blockBpm = 0.0f, runningSum = 0.0f;
    int32_t lastLoudness = 0, cursor = 0, historyCursor = 0, runningCount = 1, windowSum = 0,
            windowBlocks = 0;
    std::array<float, 64> historyBpm{};
    std::array<int32_t, 64> historyWeight{};
    std::array<int32_t, 16> kernelLength{};
    std::array<std::array<int32_t, 128>, 16> taps{};
    int32_t selectedKernel = 0, bestKernel = 0, bestResponse = 0, stepCounter = 0;
};

std::vector<int16_t> randomValues(std::mt19937& rng, size_t n, int lo, int hi) {
    std::uniform_int_distribution<int> d(lo, hi);
    std::vector<int16_t> v(n);
    for (auto& x : v) x = static_cast<int16_t>(d(rng));
    return v;
}

// The analyser's own sums stay within 4344 x 576^2 < 2^31, so wrap-around and the peak
// search's corner cases are checked here on made-up accumulators.
TEST(BeatKernels, EveryVersionWrapsAndFindsPeaksLikeThePortableOne) {
    std::mt19937 rng(7);
    for (const beat::Kernels* kernels : beat::availableKernels()) {
        SCOPED_TRACE(kernels->name);
        for (int round = 0; round < 10; ++round) {
            const auto addWindow = randomValues(rng, 8192, -576, 576),
                       subWindow = randomValues(rng, 8192, -576, 576);
            const auto add = randomValues(rng, 32, -576, 576),
                       sub = randomValues(rng, 32, -576, 576);
            std::vector<int32_t> want(beat::kLagsPadded);
            for (size_t k = 0; k < want.size(); ++k)
                want[k] = k % 2 ? INT32_MAX - static_cast<int32_t>(k)
                                : INT32_MIN + static_cast<int32_t>(k);
            std::vector<int32_t> got = want;
            beat::scalarKernels().correlate(want.data(), addWindow.data(), subWindow.data(),
                                            add.data(), sub.data());
            kernels->correlate(got.data(), addWindow.data(), subWindow.data(), add.data(),
                               sub.data());
            EXPECT_TRUE(std::equal(want.begin(), want.begin() + beat::kLags, got.begin()));
        }
        std::vector<int32_t> values(beat::kLags, INT32_MIN);
        auto peak = [&] {
            int32_t max = -1;
            const int32_t at = kernels->findPeak(values.data(), beat::kLags, &max);
            return std::pair{at, max};
        };
        EXPECT_EQ(peak(), std::pair(0, 0));
        values[1349] = 5;  // past the last whole vector
        EXPECT_EQ(peak(), std::pair(1349, 5));
        values[700] = values[17] = INT32_MAX;
        EXPECT_EQ(peak(), std::pair(17, INT32_MAX));
    }
}

// Loud bass: a full-scale square wave with a period of 600 steps, every fifth block noise.
std::vector<int16_t> loudBlock(int32_t index, std::mt19937& rng) {
    std::vector<int16_t> block(kBlockFrames * 2);
    if (index % 5 == 4) return randomValues(rng, block.size(), -32768, 32767);
    for (int32_t f = 0; f < kBlockFrames; ++f) {
        const int64_t step = (int64_t{index} * kBlockFrames + f) / 36;
        block[2 * f] = block[2 * f + 1] = step % 600 < 300 ? int16_t{32767} : int16_t{-32768};
    }
    return block;
}

TEST(BeatAnalyserExactness, EveryKernelVersionMatchesTheStepByStepReference) {
    DeckTimeline deck;
    ReferenceBeatAnalyser ref(deck.timeline);
    RecordValues refValues;
    std::vector<std::unique_ptr<AnalysedDeck>> subjects;
    for (const beat::Kernels* kernels : beat::availableKernels()) {
        auto& s = subjects.emplace_back(std::make_unique<AnalysedDeck>(&deck.timeline));
        BeatAnalyserProbe::useKernels(s->analyser, *kernels);
        s->analyser.setAnalysis(nullptr);  // attached below, as the reference's
    }
    auto attach = [&](int32_t confidence, int32_t peak) {
        refValues.analysis.bpmConfidence = confidence;
        refValues.analysis.peakLevel = peak;
        ref.analysis = &refValues.analysis;
        for (auto& s : subjects) {
            s->analysis.bpmConfidence = confidence;
            s->analysis.peakLevel = peak;
            s->analyser.setAnalysis(&s->analysis);
        }
    };
    auto bits = [](float f) { return std::bit_cast<uint32_t>(f); };
    auto expectSame = [&](const AnalysedDeck& s) {
        const BeatAnalyser& a = s.analyser;
        const auto correlation = BeatAnalyserProbe::correlation(a);
        for (int k = 0; k < beat::kLags; ++k)
            ASSERT_EQ(static_cast<int32_t>(ref.correlation[k]), correlation[k])
                << "lag index " << k;
        for (int q = 0; q < BeatAnalyser::kRingSteps; ++q)
            ASSERT_EQ(ref.onsetRing[q], a.onsetAt(q)) << "onset " << q;
        ASSERT_EQ(bits(ref.localBpm), bits(a.localBpm()));
        ASSERT_EQ(bits(ref.blockBpm), bits(a.blockBpm()));
        ASSERT_EQ(ref.lastLoudness, a.lastLoudness());
        if (ref.analysis == nullptr) return;
        for (int i = 0; i < TrackAnalysis::kStoredValues; ++i)
            ASSERT_EQ(refValues.analysis.storedWord(i), s.analysis.storedWord(i))
                << "stored value " << i;
        ASSERT_EQ(bits(refValues.record.currentBpm()), bits(s.record.currentBpm()));
    };
    auto feed = [&](const int16_t* block, float position) {
        deck.beginBlock(position);
        ref.feedBlock(block);
        for (auto& s : subjects) s->analyser.feedBlock(block);
        deck.endBlock();
        for (auto& s : subjects) {
            SCOPED_TRACE(testing::Message()
                         << "block " << deck.fed << ", " << s->analyser.blockBpm());
            expectSame(*s);
        }
        return !testing::Test::HasFatalFailure();
    };

    const Track music({.bpm = 128, .seconds = 45, .introBeats = 8});
    // First without an analysis block, as before a deck has acquired one.
    for (int32_t b = 0; b < 40; ++b) ASSERT_TRUE(feed(music.block(b), music.position(b)));
    attach(0, 1);
    for (int32_t b = 40; b < music.blocks(); ++b)
        ASSERT_TRUE(feed(music.block(b), music.position(b)));

    // A seek to the start, then loud bass, then the end of the data.
    ref.resetSignal();
    for (auto& s : subjects) s->analyser.resetSignal();
    deck.restart();
    std::mt19937 rng(3);
    for (int32_t b = 0; b < 400; ++b)
        ASSERT_TRUE(feed(loudBlock(b, rng).data(), static_cast<float>(b) / 400.0f));
    for (int32_t b = 0; b < 150; ++b) ASSERT_TRUE(feed(kSilence.data(), -1.0f));

    // A new track whose stored record already has a tempo run and a high peak.
    ref.resetForTrack();
    for (auto& s : subjects) s->analyser.resetForTrack();
    deck.restart();
    attach(60, 3'000'000);
    const Track next({.bpm = 100, .seconds = 30, .seed = 5});
    for (int32_t b = 0; b < next.blocks(); ++b) ASSERT_TRUE(feed(next.block(b), next.position(b)));
    EXPECT_GT(refValues.analysis.bpmConfidence.load(), 60)
        << "the second track should have replaced the stored run";
}

}  // namespace
}  // namespace spinlorex
