// The vector code and the batched ring arithmetic must give exactly what plain
// step-by-step arithmetic gives.

#include <gtest/gtest.h>

#include <bit>
#include <climits>
#include <cmath>
#include <memory>
#include <numbers>
#include <random>

#include "BeatTestSupport.h"

namespace spinlorex {
namespace {

using test::kBlockFrames;

// The beat analysis written the slow, obvious way: one step at a time, every ring index
// taken modulo 8192, the tempo history's support counted afresh each block.
class ReferenceBeatAnalyser {
public:
    explicit ReferenceBeatAnalyser(const DecodeTimeline& timeline);
    void resetForTrack();
    void resetSignal();
    void feedBlock(const int16_t* block);

    TrackAnalysis* analysis = nullptr;
    std::array<uint32_t, 1350> correlation{};
    std::array<int32_t, 8192> onsetRing{};
    float localBpm = 0.0f, blockBpm = 0.0f;
    int32_t lastLoudness = 0;

private:
    void onsetStep(int32_t q);
    void tempoStep();
    int64_t m(int32_t lag) const;

    const DecodeTimeline& timeline_;
    std::array<int16_t, 8192> bassRing{};
    int32_t cursor = 0;
    std::array<float, 64> historyBpm{};
    std::array<int32_t, 64> historyWeight{};
    int32_t historyCursor = 0;
    float runningSum = 0.0f;
    int32_t runningCount = 1;
    std::array<int32_t, 16> kernelLength{};
    std::array<std::array<int32_t, 128>, 16> taps{};
    int32_t selectedKernel = 0, bestKernel = 0, bestResponse = 0, stepCounter = 0;
    int32_t windowSum = 0, windowBlocks = 0;
};

constexpr auto kRelaxed = std::memory_order_relaxed;
int32_t wrap(int32_t i) { return ((i % 8192) + 8192) % 8192; }

ReferenceBeatAnalyser::ReferenceBeatAnalyser(const DecodeTimeline& timeline) : timeline_(timeline) {
    for (int i = 0; i < 16; ++i) {
        const float f = static_cast<float>(std::exp(i / 8.0 - 2.65));
        kernelLength[i] = static_cast<int32_t>(8 / f);
        for (int k = 0; k < kernelLength[i]; ++k)
            taps[i][k] = static_cast<int32_t>(4096 * std::sin((2 * std::numbers::pi / f) * std::log(1 + k * double{f} / 4)) /
                                              std::sqrt(kernelLength[i]));
    }
    resetForTrack();
}

void ReferenceBeatAnalyser::resetForTrack() {
    resetSignal();
    analysis = nullptr;
    localBpm = 0;
    historyBpm.fill(0);
    historyWeight.fill(0);
    runningCount = 1;
    runningSum = 0;
    lastLoudness = 0;
}

void ReferenceBeatAnalyser::resetSignal() {
    bassRing.fill(0);
    correlation.fill(0);
    onsetRing.fill(0);
    windowSum = 0;
    windowBlocks = 0;
}

void ReferenceBeatAnalyser::feedBlock(const int16_t* block) {
    for (int step = 0; step < 32; ++step) {
        int32_t s = 0;
        for (int i = 0; i < 72; ++i) s += block[step * 72 + i];
        const int32_t x = s / 4096;
        const int32_t p = cursor;
        for (int k = 0; k < 1350; ++k) {
            correlation[k] += static_cast<uint32_t>(x * bassRing[wrap(p - 1800 + k)]);
            correlation[k] -= static_cast<uint32_t>(bassRing[wrap(p - 4344)] * bassRing[wrap(p - 6144 + k)]);
        }
        bassRing[p] = static_cast<int16_t>(x);
        onsetStep(wrap(p - 113));
        ++cursor;
        windowSum += std::abs(x);
    }
    cursor %= 8192;
    tempoStep();
    if (++windowBlocks == 60) {
        if (analysis != nullptr && windowSum > analysis->loudnessPeak.load(kRelaxed))
            analysis->loudnessPeak.store(windowSum, kRelaxed);
        lastLoudness = windowSum;
        windowSum = 0;
        windowBlocks = 0;
    }
}

void ReferenceBeatAnalyser::onsetStep(int32_t q) {
    int32_t v = 0;
    for (int i = 0; i < 16; ++i) {
        int32_t sum = 0;
        for (int k = 0; k < kernelLength[i]; ++k) sum += taps[i][k] * bassRing[wrap(q + k)];
        const int32_t r = std::abs(sum);
        if (r > bestResponse) {
            bestResponse = r;
            bestKernel = i;
        }
        if (i == selectedKernel) v = r;
    }
    onsetRing[q] = v;
    if (analysis == nullptr) return;
    TrackAnalysis& a = *analysis;
    const int64_t peak = std::max<int64_t>(a.peakLevel.load(kRelaxed), v);
    a.peakLevel.store(static_cast<int32_t>(peak), kRelaxed);
    const float pos = timeline_.blockPositions[q / 32];
    if (pos > 0 && 3 * int64_t{v} > 2 * peak &&
        (3 * int64_t{a.firstStrongBeatLevel.load(kRelaxed)} < 2 * peak || pos < a.firstStrongBeat.load(kRelaxed))) {
        a.firstStrongBeat.store(pos, kRelaxed);
        a.firstStrongBeatLevel.store(v, kRelaxed);
    }
    if (pos < 1.0f && 2 * int64_t{v} > peak &&
        !(2 * int64_t{a.lastStrongBeatLevel.load(kRelaxed)} >= peak && pos <= a.lastStrongBeat.load(kRelaxed))) {
        a.lastStrongBeat.store(pos, kRelaxed);
        a.lastStrongBeatLevel.store(v, kRelaxed);
    }
    const int32_t old = stepCounter++;
    if (old % 1024 == 0) {
        if (2 * int64_t{bestResponse} < peak && stepCounter < 4097) {
            bestResponse = 0;
        } else {
            selectedKernel = bestKernel;
            stepCounter = 1;
            bestResponse = 0;
        }
    }
}

int64_t ReferenceBeatAnalyser::m(int32_t lag) const {
    int64_t best = 0;
    for (int32_t l = lag + 2; l >= lag - 2; --l)
        if (l >= 451 && l <= 1800) best = std::max(best, std::abs(int64_t{static_cast<int32_t>(correlation[1800 - l])}));
    return best;
}

void ReferenceBeatAnalyser::tempoStep() {
    int32_t kStar = 0;
    int32_t maximum = 0;
    for (int k = 0; k < 1350; ++k) {
        if (static_cast<int32_t>(correlation[k]) > maximum) {
            maximum = static_cast<int32_t>(correlation[k]);
            kStar = k;
        }
    }
    const int32_t L = 1800 - kStar;
    if (L >= 1795) blockBpm = 999.9f;
    else if (L <= 456) blockBpm = 0;
    else if (L < 900) blockBpm = 73500.0f / L;
    else if (L < 1090) blockBpm = m(L / 2) + m(3 * L / 2) > maximum ? 147000.0f / L : 73500.0f / L;
    else if (L < 1350) blockBpm = 147000.0f / L;
    else blockBpm = m(L / 2) >= m(L / 3) ? 147000.0f / L : 220500.0f / L;

    historyBpm[historyCursor] = blockBpm;
    historyWeight[historyCursor] = maximum / 256 + 1;
    historyCursor = (historyCursor + 1) % 64;

    int64_t bestSupport = -1;
    float best = 0;
    for (int j = 0; j < 64; ++j) {
        int64_t support = historyWeight[j];
        for (int i = j + 1; i < 64; ++i)
            if (std::fabs(historyBpm[i] - historyBpm[j]) < 2.0f) support += historyWeight[i];
        if (support >= bestSupport) {
            bestSupport = support;
            best = historyBpm[j];
        }
    }
    if (best >= 1.0f && best <= 999.0f) {
        double sum = 0;
        int64_t weights = 0;
        for (int j = 0; j < 64; ++j) {
            if (std::fabs(historyBpm[j] - best) < 2.0f) {
                sum += double{historyBpm[j]} * historyWeight[j];
                weights += historyWeight[j];
            }
        }
        localBpm = static_cast<float>(sum / static_cast<double>(weights));
        if (timeline_.decoding.load(kRelaxed)) {
            if (std::fabs(localBpm - runningSum / static_cast<float>(runningCount)) >= 2.0f) {
                runningSum = localBpm;
                runningCount = 1;
            } else {
                runningSum += localBpm;
                runningCount += 1;
            }
            if (analysis != nullptr && runningCount >= analysis->bpmConfidence.load(kRelaxed)) {
                analysis->owner->bpm.store(runningSum / static_cast<float>(runningCount), kRelaxed);
                analysis->bpmConfidence.store(runningCount, kRelaxed);
            }
        }
    } else {
        localBpm = best;
    }
}

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
            const auto addWindow = randomValues(rng, 8192, -576, 576);
            const auto subWindow = randomValues(rng, 8192, -576, 576);
            const auto add = randomValues(rng, 32, -576, 576);
            const auto sub = randomValues(rng, 32, -576, 576);
            std::vector<int32_t> want(beat::kLagsPadded);
            for (size_t k = 0; k < want.size(); ++k)
                want[k] = k % 2 ? INT32_MAX - static_cast<int32_t>(k) : INT32_MIN + static_cast<int32_t>(k);
            std::vector<int32_t> got = want;
            beat::scalarKernels().correlate(want.data(), addWindow.data(), subWindow.data(), add.data(), sub.data());
            kernels->correlate(got.data(), addWindow.data(), subWindow.data(), add.data(), sub.data());
            EXPECT_TRUE(std::equal(want.begin(), want.begin() + beat::kLags, got.begin()));
        }

        std::vector<int32_t> values(beat::kLags, INT32_MIN);
        int32_t max = -1;
        EXPECT_EQ(kernels->findPeak(values.data(), beat::kLags, &max), 0);
        EXPECT_EQ(max, 0);
        values[1349] = 5;  // past the last whole vector
        EXPECT_EQ(kernels->findPeak(values.data(), beat::kLags, &max), 1349);
        EXPECT_EQ(max, 5);
        values[700] = values[17] = INT32_MAX;
        EXPECT_EQ(kernels->findPeak(values.data(), beat::kLags, &max), 17);
        EXPECT_EQ(max, INT32_MAX);
    }
}

uint32_t bits(float f) { return std::bit_cast<uint32_t>(f); }

void expectSameAnalysis(const TrackAnalysis& want, const TrackAnalysis& got) {
    for (int i = 0; i < TrackAnalysis::kStoredValues; ++i)
        ASSERT_EQ(want.storedWord(i), got.storedWord(i)) << "stored value " << i;
    ASSERT_EQ(bits(want.owner->currentBpm()), bits(got.owner->currentBpm()));
}

void expectSameState(const ReferenceBeatAnalyser& ref, const BeatAnalyser& a) {
    const auto correlation = BeatAnalyserProbe::correlation(a);
    for (int k = 0; k < beat::kLags; ++k)
        ASSERT_EQ(static_cast<int32_t>(ref.correlation[k]), correlation[k]) << "lag index " << k;
    for (int q = 0; q < BeatAnalyser::kRingSteps; ++q) ASSERT_EQ(ref.onsetRing[q], a.onsetAt(q)) << "onset " << q;
    ASSERT_EQ(bits(ref.localBpm), bits(a.localBpm()));
    ASSERT_EQ(bits(ref.blockBpm), bits(a.blockBpm()));
    ASSERT_EQ(ref.lastLoudness, a.lastLoudness());
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
    test::DeckTimeline deck;
    ReferenceBeatAnalyser ref(deck.timeline);
    TrackRecord refRecord;
    TrackAnalysis refAnalysis;
    refAnalysis.owner = &refRecord;

    struct Subject {
        TrackRecord record;
        TrackAnalysis analysis;
        std::unique_ptr<BeatAnalyser> analyser;
    };
    std::vector<std::unique_ptr<Subject>> subjects;
    for (const beat::Kernels* kernels : beat::availableKernels()) {
        auto s = std::make_unique<Subject>();
        s->analysis.owner = &s->record;
        s->analyser = std::make_unique<BeatAnalyser>(deck.timeline);
        BeatAnalyserProbe::useKernels(*s->analyser, *kernels);
        subjects.push_back(std::move(s));
    }
    auto attach = [&](int32_t confidence, int32_t peak) {
        refAnalysis.bpmConfidence = confidence;
        refAnalysis.peakLevel = peak;
        ref.analysis = &refAnalysis;
        for (auto& s : subjects) {
            s->analysis.bpmConfidence = confidence;
            s->analysis.peakLevel = peak;
            s->analyser->setAnalysis(&s->analysis);
        }
    };
    int32_t fed = 0;
    auto feed = [&](const int16_t* block, float position) {
        deck.beginBlock(position);
        ref.feedBlock(block);
        for (auto& s : subjects) s->analyser->feedBlock(block);
        deck.endBlock();
        ++fed;
        for (auto& s : subjects) {
            SCOPED_TRACE(testing::Message() << "block " << fed << ", " << s->analyser->blockBpm());
            expectSameState(ref, *s->analyser);
            if (ref.analysis != nullptr) expectSameAnalysis(refAnalysis, s->analysis);
        }
        return !testing::Test::HasFatalFailure();
    };

    const test::Track music({.bpm = 128, .seconds = 45, .introBeats = 8});
    // First without an analysis block, as before a deck has acquired one.
    for (int32_t b = 0; b < 40; ++b) ASSERT_TRUE(feed(music.block(b), music.position(b)));
    attach(0, 1);
    for (int32_t b = 40; b < music.blocks(); ++b) ASSERT_TRUE(feed(music.block(b), music.position(b)));

    // A seek to the start, then loud bass, then the end of the data.
    ref.resetSignal();
    for (auto& s : subjects) s->analyser->resetSignal();
    deck.restart();
    std::mt19937 rng(3);
    for (int32_t b = 0; b < 400; ++b) ASSERT_TRUE(feed(loudBlock(b, rng).data(), static_cast<float>(b) / 400.0f));
    const std::vector<int16_t> silence(kBlockFrames * 2, 0);
    for (int32_t b = 0; b < 150; ++b) ASSERT_TRUE(feed(silence.data(), -1.0f));

    // A new track whose stored record already has a tempo run and a high peak.
    ref.resetForTrack();
    for (auto& s : subjects) s->analyser->resetForTrack();
    deck.restart();
    attach(60, 3'000'000);
    const test::Track next({.bpm = 100, .seconds = 30, .seed = 5});
    for (int32_t b = 0; b < next.blocks(); ++b) ASSERT_TRUE(feed(next.block(b), next.position(b)));
    EXPECT_GT(refAnalysis.bpmConfidence.load(), 60) << "the second track should have replaced the stored run";
}

}  // namespace
}  // namespace spinlorex
