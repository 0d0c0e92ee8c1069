#include "audio/PitchRender.h"

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <numbers>
#include <random>
#include <vector>

namespace spinlorex {
namespace {

// Source frames whose left sample is their index, right its negation.
std::vector<int16_t> indexedSource(int32_t frames) {
    std::vector<int16_t> s(static_cast<size_t>(frames) * 2);
    for (int32_t i = 0; i < frames; ++i) {
        s[2 * i] = static_cast<int16_t>(i);
        s[2 * i + 1] = static_cast<int16_t>(-i);
    }
    return s;
}

// The overlap search written directly with 64-bit products, as a reference.
int32_t referenceOverlap(const int16_t* tail, const int16_t* src) {
    std::array<int64_t, 1024> w{};
    for (int k = 0; k < 512; ++k)
        for (int c = 0; c < 2; ++c) w[2 * k + c] = (static_cast<int64_t>(tail[2 * k + c]) * (k * (512 - k))) >> 15;
    const int stages[4][8] = {{248, 498, 748, 998, 1248, 1498, 1748, 1998},
                              {-200, -150, -100, -50, 50, 100, 150, 200},
                              {-40, -30, -20, -10, 10, 20, 30, 40},
                              {-8, -6, -4, -2, 2, 4, 6, 8}};
    int32_t best = 248, bestScore = -32768, base = 0;
    for (const auto& stage : stages) {
        for (int c : stage) {
            uint32_t sum = 0;
            for (int i = 2; i < 1024; ++i) sum += static_cast<uint32_t>((w[i] * src[base + c + i]) >> 8);
            if (static_cast<int32_t>(sum) > bestScore) {
                best = base + c;
                bestScore = static_cast<int32_t>(sum);
            }
        }
        base = best;
    }
    return best;
}

TEST(PitchRender, VarispeedAtNormalPitchCopiesFrameForFrame) {
    const auto src = indexedSource(4000);
    std::vector<int16_t> out(3088 * 2);
    int32_t phase = 0;
    EXPECT_EQ(renderVarispeed(src.data(), out.data(), 3088, 4096, phase), 3088);
    EXPECT_EQ(phase, 0);
    EXPECT_TRUE(std::equal(out.begin(), out.end(), src.begin()));
}

TEST(PitchRender, VarispeedAtHighestPitchSkipsAboutOneFrameInFourAndRepeatsNone) {
    const auto src = indexedSource(5000);
    std::vector<int16_t> out(3088 * 2);
    int32_t phase = 0;
    int32_t total = 0;
    for (int pass = 0; pass < 40; ++pass) {
        const int32_t consumed = renderVarispeed(src.data(), out.data(), 3088, 5462, phase);
        EXPECT_TRUE(consumed == 4117 || consumed == 4118) << consumed;
        total += consumed;
        int skipped = 0;
        for (int k = 1; k < 3088; ++k) {
            const int step = out[2 * k] - out[2 * (k - 1)];
            ASSERT_GE(step, 1) << "frame repeated at " << k;
            ASSERT_LE(step, 2);
            skipped += step - 1;
        }
        // One source frame in four is skipped.
        EXPECT_NEAR(skipped, consumed / 4.0, 2.0);
        EXPECT_GE(phase, 0);
        EXPECT_LT(phase, 4096);
    }
    // The 12-bit phase carries between passes: no drift over many passes.
    EXPECT_EQ(total, static_cast<int32_t>((40LL * 3088 * 5462) / 4096));
}

TEST(PitchRender, MasterTempoAtNormalPitchReproducesTheSourceOnceTheTailIsPrimed) {
    std::mt19937 rng(7);
    std::vector<int16_t> src(20000 * 2);
    for (auto& s : src) s = static_cast<int16_t>(rng());
    std::vector<int16_t> tail(512 * 2, 0);
    std::vector<int16_t> out(3088 * 2);
    int32_t phase = 0;
    int32_t read = 0;
    for (int pass = 0; pass < 4; ++pass) {
        const auto chunk = renderMasterTempo(tail.data(), &src[read * 2], out.data(), 4096, phase);
        ASSERT_EQ(chunk.frames, 3088);
        ASSERT_EQ(chunk.consumed, 3088);
        const int from = pass == 0 ? 512 : 0;  // the very first pass fades in from silence
        for (int i = from * 2; i < 3088 * 2; ++i) ASSERT_EQ(out[i], src[read * 2 + i]) << pass << " " << i;
        read += chunk.consumed;
    }
}

TEST(PitchRender, MasterTempoFollowsThePitchOnAverage) {
    // A slow sine: the best overlap keeps the waveform continuous.
    std::vector<int16_t> src(200000 * 2);
    for (size_t i = 0; i < src.size() / 2; ++i) {
        const auto v = static_cast<int16_t>(12000 * std::sin(i * 2 * std::numbers::pi * 220 / 44100.0));
        src[2 * i] = v;
        src[2 * i + 1] = v;
    }
    for (int32_t pitch : {3768, 4424, 5462}) {
        std::vector<int16_t> tail(512 * 2, 0);
        std::vector<int16_t> out(3088 * 2);
        int32_t phase = 0, read = 0;
        int64_t produced = 0;
        for (int pass = 0; pass < 30; ++pass) {
            const auto chunk = renderMasterTempo(tail.data(), &src[read * 2], out.data(), pitch, phase);
            ASSERT_GE(chunk.frames, 3088 - 1123);
            ASSERT_LE(chunk.frames, 3088);
            produced += chunk.frames;
            read += chunk.consumed;
        }
        // Source consumed per frame produced is the pitch ratio.
        EXPECT_NEAR(static_cast<double>(read) / produced, pitch / 4096.0, 0.001) << pitch;
    }
}

TEST(PitchRender, OverlapSearchMatchesTheWideReferenceAndFindsTheContinuation) {
    std::mt19937 rng(11);
    std::vector<int16_t> tail(1024), src(4000);
    for (int trial = 0; trial < 50; ++trial) {
        for (auto& s : tail) s = static_cast<int16_t>(rng());
        for (auto& s : src) s = static_cast<int16_t>(rng());
        ASSERT_EQ(findBestOverlap(tail.data(), src.data()), referenceOverlap(tail.data(), src.data()));
    }
    // Extreme values, where one windowed product needs more than 32 bits.
    std::fill(tail.begin(), tail.end(), int16_t{-32768});
    std::fill(src.begin(), src.end(), int16_t{-32768});
    EXPECT_EQ(findBestOverlap(tail.data(), src.data()), referenceOverlap(tail.data(), src.data()));

    // A steady tone: the tail cut from it is continued where the waveform matches.
    for (size_t i = 0; i < src.size() / 2; ++i)
        src[2 * i] = src[2 * i + 1] =
            static_cast<int16_t>(9000 * std::sin(2 * std::numbers::pi * 200.0 * static_cast<double>(i) / 44100.0));
    std::copy(src.begin() + 600, src.begin() + 600 + 1024, tail.begin());
    const int32_t found = findBestOverlap(tail.data(), src.data());
    EXPECT_EQ(found % 2, 0);
    double error = 0;
    for (int i = 0; i < 1024; ++i) error += std::abs(tail[i] - src[found + i]);
    EXPECT_LT(error / 1024, 9000 * 0.05);  // a near-perfect continuation
}

}  // namespace
}  // namespace spinlorex
