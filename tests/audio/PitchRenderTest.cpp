#include "audio/PitchRender.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <numbers>
#include <random>
#include <vector>

#include "tools/synth/Synth.h"

// Master tempo is checked through the deck, which must play every source frame in order
// at normal pitch and consume the source at the pitch ratio at the highest one.

namespace spinlorex {
namespace {

// The overlap search written directly with 64-bit products, as a reference.
int32_t referenceOverlap(const int16_t* tail, const int16_t* src) {
    std::array<int64_t, 1024> w{};
    for (int i = 0; i < 1024; ++i) w[i] = (int64_t{tail[i]} * (i / 2 * (512 - i / 2))) >> 15;
    const int stages[4][8] = {{248, 498, 748, 998, 1248, 1498, 1748, 1998},
                              {-200, -150, -100, -50, 50, 100, 150, 200},
                              {-40, -30, -20, -10, 10, 20, 30, 40},
                              {-8, -6, -4, -2, 2, 4, 6, 8}};
    int32_t best = 248, bestScore = -32768, base = 0;
    for (const auto& stage : stages) {
        for (int c : stage) {
            uint32_t sum = 0;
            for (int i = 2; i < 1024; ++i)
                sum += static_cast<uint32_t>((w[i] * src[base + c + i]) >> 8);
            if (static_cast<int32_t>(sum) > bestScore)
                best = base + c, bestScore = static_cast<int32_t>(sum);
        }
        base = best;
    }
    return best;
}

// A source buffer with the frames varispeed reads before its start.
struct Source {
    std::vector<int16_t> frames;
    explicit Source(int32_t count) : frames(static_cast<size_t>(2 * (count + kVarispeedHistory))) {}
    int16_t* start() { return frames.data() + 2 * kVarispeedHistory; }
};

TEST(PitchRender, VarispeedConsumesTheSourceAtThePitchAndInterpolatesBetweenFrames) {
    // A ramp, left rising and right falling: interpolated, frame k lies at source position
    // j + phase / 4096.
    Source src(30000);
    for (int32_t i = -kVarispeedHistory; i < 30000 - kVarispeedHistory; ++i) {
        src.start()[2 * i] = static_cast<int16_t>(i);
        src.start()[2 * i + 1] = static_cast<int16_t>(-i);
    }
    std::vector<int16_t> out(3088 * 2);
    // The frames consumed and the 12-bit phase carried between passes are those of the
    // nearest-frame rule they replace, so positions and beat sync stay as they were.
    for (const int32_t pitch : {5462, 4099, 3961, 2730, 8192}) {
        int32_t phase = 0, total = 0;
        for (int pass = 0; pass < 4; ++pass) {
            const int64_t start = phase;
            const int32_t consumed =
                renderVarispeed(src.start() + 2 * total, out.data(), 3088, pitch, phase);
            for (int k = 0; k < 3088; ++k) {
                const double at = total + (start + int64_t{k} * pitch) / 4096.0;
                ASSERT_NEAR(out[2 * k], at, 0.51) << pitch << " " << pass << " " << k;
                ASSERT_NEAR(out[2 * k + 1], -at, 0.51) << pitch << " " << pass << " " << k;
            }
            ASSERT_EQ(consumed, (start + 3088 * pitch) >> 12);
            ASSERT_EQ(phase, (start + 3088 * pitch) & 4095);
            total += consumed;
        }
        EXPECT_EQ(total, static_cast<int32_t>((4LL * 3088 * pitch) / 4096));
    }
}

TEST(PitchRender, VarispeedCopiesAtNormalPitchAndEveryVersionGivesTheSameBits) {
    std::mt19937 rng(3);
    Source src(12000);
    for (auto& s : src.frames) s = static_cast<int16_t>(rng());
    std::vector<int16_t> out(3088 * 2), portable(3088 * 2);
    int32_t phase = 0;
    EXPECT_EQ(renderVarispeed(src.start(), out.data(), 3088, 4096, phase), 3088);
    EXPECT_EQ(phase, 0);
    EXPECT_TRUE(std::equal(out.begin(), out.end(), src.start()));
    // Noise, then full scale of both signs, where the sums come closest to 32 bits.
    for (int round = 0; round < 3; ++round) {
        if (round > 0) {
            for (size_t i = 0; i < src.frames.size(); ++i)
                src.frames[i] = (i / 2 + static_cast<size_t>(round)) % 3 == 0 ? int16_t{32767}
                                                                              : int16_t{-32768};
        }
        for (const int32_t pitch : {4097, 4424, 5462, 3768, 8192, 256}) {
            int32_t a = static_cast<int32_t>(rng() % 4096), b = a;
            ASSERT_EQ(renderVarispeed(src.start(), out.data(), 3088, pitch, a),
                      renderVarispeedPortable(src.start(), portable.data(), 3088, pitch, b));
            ASSERT_EQ(a, b);
            ASSERT_EQ(out, portable) << pitch;
        }
    }
}

TEST(PitchRender, BothOverlapSearchesMatchTheWideReferenceAndFindTheContinuation) {
    // The search in use (vector where the processor has it) and the portable one.
    const auto check = [](const std::vector<int16_t>& tail, const std::vector<int16_t>& src) {
        const int32_t wanted = referenceOverlap(tail.data(), src.data());
        EXPECT_EQ(findBestOverlap(tail.data(), src.data()), wanted);
        EXPECT_EQ(findBestOverlapPortable(tail.data(), src.data()), wanted);
    };
    std::mt19937 rng(11);
    std::vector<int16_t> tail(1024), src(4000);
    for (int trial = 0; trial < 50; ++trial) {
        // Every other trial a faint tail, whose window has only its low byte.
        for (auto& s : tail) s = static_cast<int16_t>(trial % 2 ? rng() : rng() % 5 - 2);
        for (auto& s : src) s = static_cast<int16_t>(rng());
        check(tail, src);
    }
    // A tail heard only in its second frame, the first that the window weighs.
    std::fill(tail.begin(), tail.end(), int16_t{0});
    for (int trial = 0; trial < 5; ++trial) {
        tail[2] = tail[3] = static_cast<int16_t>(32767 - trial);
        for (auto& s : src) s = static_cast<int16_t>(rng());
        check(tail, src);
    }
    // Extreme values, where one windowed product needs more than 32 bits.
    std::fill(tail.begin(), tail.end(), int16_t{-32768});
    std::fill(src.begin(), src.end(), int16_t{-32768});
    check(tail, src);

    // A steady tone: the tail cut from it is continued where the waveform matches.
    for (size_t i = 0; i < src.size(); ++i)
        src[i] = static_cast<int16_t>(
            9000 * std::sin(2 * std::numbers::pi * 200.0 * static_cast<double>(i / 2) / 44100));
    std::copy(src.begin() + 600, src.begin() + 600 + 1024, tail.begin());
    check(tail, src);
    const int32_t found = findBestOverlap(tail.data(), src.data());
    EXPECT_EQ(found % 2, 0);
    double error = 0;
    for (int i = 0; i < 1024; ++i) error += std::abs(tail[i] - src[found + i]);
    EXPECT_LT(error / 1024, 9000 * 0.05);  // a near-perfect continuation
}

TEST(PitchRender, VectorAndPortableOverlapSearchesAgreeOnMusic) {
#if defined(__x86_64__) || defined(__i386__)
    if (!__builtin_cpu_supports("avx2")) GTEST_SKIP() << "no vector search on this processor";
#else
    GTEST_SKIP() << "no vector search on this processor";
#endif
    // Every splice of a generated track at several pitches, as a deck would search them.
    const std::vector<int16_t> music =
        synth::toPcm16(synth::render({.bpm = 128, .seconds = 6, .seed = 9}));
    int searches = 0;
    for (const int32_t step : {3300, 3900, 4117}) {
        for (size_t at = 0; 2 * (at + 8000) < music.size(); at += static_cast<size_t>(step)) {
            const int16_t* tail = &music[2 * at];
            const int16_t* src = &music[2 * (at + 3088)];
            ASSERT_EQ(findBestOverlap(tail, src), findBestOverlapPortable(tail, src)) << at;
            ++searches;
        }
    }
    EXPECT_GT(searches, 150);
}

}  // namespace
}  // namespace spinlorex
