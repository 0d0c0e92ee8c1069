#pragma once

#include <cstdint>
#include <span>

// The arithmetic inner loops of the beat analyser, in a portable version and in versions
// for wider vector units, chosen once per process. Every version gives bit-identical
// results: all arithmetic is on integers, and the correlation's 32-bit sums wrap the same
// whichever order their terms are added in.
//
// Internal to the analysis library (and its tests). The kernels themselves are real-time
// safe; the look-ups below may initialise on first use, so call them at construction.

namespace spinlorex::beat {

inline constexpr int32_t kRingSteps = 8192;
inline constexpr int32_t kRingMask = kRingSteps - 1;
inline constexpr int32_t kStepsPerBlock = 32;
inline constexpr int32_t kFramesPerStep = 36;  // the unit of beat analysis
inline constexpr int32_t kSamplesPerStep = 2 * kFramesPerStep;
inline constexpr int32_t kLags = 1350;
inline constexpr int32_t kLagsPadded = 1408;  // whole 64-lag chunks for the vector loops
inline constexpr int32_t kKernels = 16;
inline constexpr int32_t kTapStride = 128;  // taps per kernel, zero-padded
// The bass ring is stored twice in a row (entry p also at p + kRingSteps) so that every
// window the analyser reads is contiguous: a window starts below kRingSteps and, padding
// included, spans far less than kRingSteps values.
inline constexpr int32_t kBassStorage = 2 * kRingSteps;

// Onset responses of one block are stored kernel by kernel, 32 per kernel, in this order
// of the block's steps: even steps 0..14, odd 1..15, even 16..30, odd 17..31. It is the
// order in which the vector code produces them.
constexpr int32_t onsetSlot(int32_t step) {
    return (step & 16) + ((step & 1) << 3) + ((step & 15) >> 1);
}

struct Kernels {
    const char* name;

    // The 32 bass values of one block of 2304 samples: each the sum of 72 consecutive
    // samples divided by 4096, truncated toward zero.
    void (*bassValues)(const int16_t* block, int16_t* bass);

    // For k < kLagsPadded (kLags at least):
    //   correlation[k] += sum over t < 32 of add[t] * addWindow[t + k] - sub[t] * subWindow[t + k]
    // with 32-bit wrap-around. |add|, |sub| <= 576.
    void (*correlate)(int32_t* correlation, const int16_t* addWindow, const int16_t* subWindow,
                      const int16_t* add, const int16_t* sub);

    // responses[i * 32 + onsetSlot(t)] = |sum over k < lengths[i] of taps[i * kTapStride + k] *
    // window[t + k]| for the 16 kernels and t < 32. Taps past a kernel's length must be zero.
    void (*onsetResponses)(const int16_t* taps, const int32_t* lengths, const int16_t* window,
                           int32_t* responses);

    // The index of the first greatest value of values[0..count) if that value is positive,
    // else 0; *maximum gets that value, or 0.
    int32_t (*findPeak)(const int32_t* values, int32_t count, int32_t* maximum);
};

const Kernels& scalarKernels();
// The fastest version this processor runs.
const Kernels& bestKernels();
// Every version this processor runs, the portable one first.
std::span<const Kernels* const> availableKernels();

#if defined(__x86_64__) || defined(__i386__)
extern const Kernels kAvx2Kernels;
extern const Kernels kAvx512Kernels;
#endif

}  // namespace spinlorex::beat
