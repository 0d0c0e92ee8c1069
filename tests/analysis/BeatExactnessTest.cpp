// The vector code must give exactly what the description's step-by-step arithmetic gives.

#include <gtest/gtest.h>

#include <bit>
#include <climits>
#include <memory>
#include <random>

#include "BeatTestSupport.h"
#include "ReferenceBeatAnalyser.h"

namespace spinlorex {
namespace {

using test::kBlockFrames;

std::vector<int16_t> randomValues(std::mt19937& rng, size_t n, int lo, int hi) {
    std::uniform_int_distribution<int> d(lo, hi);
    std::vector<int16_t> v(n);
    for (auto& x : v) x = static_cast<int16_t>(d(rng));
    return v;
}

TEST(BeatKernels, EveryVersionMatchesThePortableOneIncludingWrapAround) {
    std::mt19937 rng(7);
    const beat::Kernels& scalar = beat::scalarKernels();
    const DecodeTimeline timeline;
    const BeatAnalyser lengthsFrom(timeline);
    for (const beat::Kernels* kernels : beat::availableKernels()) {
        SCOPED_TRACE(kernels->name);
        for (int round = 0; round < 20; ++round) {
            // Bass values, with whole steps at full scale and sums just either side of 4096.
            std::vector<int16_t> block = randomValues(rng, 2304, -32768, 32767);
            std::fill_n(block.begin(), 72, int16_t{-32768});
            std::fill_n(block.begin() + 72, 72, int16_t{32767});
            std::fill_n(block.begin() + 144, 72, int16_t{0});
            block[144] = static_cast<int16_t>(round % 2 ? -4095 : -4097);
            int16_t expected[32], actual[32];
            scalar.bassValues(block.data(), expected);
            kernels->bassValues(block.data(), actual);
            EXPECT_EQ(expected[0], -576);
            EXPECT_EQ(expected[1], 575);
            EXPECT_EQ(expected[2], round % 2 ? 0 : -1);  // truncated toward zero
            EXPECT_TRUE(std::equal(expected, expected + 32, actual));

            // Correlation from accumulators near the ends of the 32-bit range.
            const auto addWindow = randomValues(rng, 8192, -576, 576);
            const auto subWindow = randomValues(rng, 8192, -576, 576);
            const auto add = randomValues(rng, 32, -576, 576);
            const auto sub = randomValues(rng, 32, -576, 576);
            std::vector<int32_t> start(beat::kLagsPadded);
            for (size_t k = 0; k < start.size(); ++k)
                start[k] = k % 3 == 0 ? INT32_MAX - static_cast<int32_t>(k) : k % 3 == 1 ? INT32_MIN + static_cast<int32_t>(k) : static_cast<int32_t>(rng());
            std::vector<int32_t> want = start, got = start;
            scalar.correlate(want.data(), addWindow.data(), subWindow.data(), add.data(), sub.data());
            kernels->correlate(got.data(), addWindow.data(), subWindow.data(), add.data(), sub.data());
            EXPECT_TRUE(std::equal(want.begin(), want.begin() + beat::kLags, got.begin()));

            // Onset responses with zero-padded taps of the analyser's lengths.
            std::vector<int16_t> taps(beat::kKernels * beat::kTapStride, 0);
            std::vector<int32_t> lengths(beat::kKernels);
            for (int i = 0; i < beat::kKernels; ++i) {
                lengths[i] = lengthsFrom.kernelLength(i);
                const auto t = randomValues(rng, static_cast<size_t>(lengths[i]), -993, 993);
                std::copy(t.begin(), t.end(), taps.begin() + i * beat::kTapStride);
            }
            std::vector<int32_t> wantR(512), gotR(512);
            scalar.onsetResponses(taps.data(), lengths.data(), addWindow.data(), wantR.data());
            kernels->onsetResponses(taps.data(), lengths.data(), addWindow.data(), gotR.data());
            EXPECT_EQ(wantR, gotR);
        }

        // Peak search: first of equal maxima, a maximum in the tail, nothing positive.
        std::vector<int32_t> values(beat::kLags, INT32_MIN);
        int32_t max = -1;
        EXPECT_EQ(kernels->findPeak(values.data(), beat::kLags, &max), 0);
        EXPECT_EQ(max, 0);
        values[1349] = 5;
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

void expectSameState(const test::ReferenceBeatAnalyser& ref, const BeatAnalyser& a) {
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
    test::ReferenceBeatAnalyser ref(deck.timeline);
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
