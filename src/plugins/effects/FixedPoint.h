#pragma once

// Fixed-point building blocks of the shipped effects: saturation, linear ramps and a
// state-variable filter (trapezoidal integration, so it stays stable and accurate down to
// 20 Hz), all in integer arithmetic for the sound thread.

#include <algorithm>
#include <cstdint>

namespace spinlorex::effects {

// Filter signals carry 10 fraction bits below the 16-bit sample.
inline constexpr int kSignalShift = 10;
inline constexpr int64_t kOneQ30 = int64_t{1} << 30;
inline constexpr int32_t kUnityQ12 = 4096;

inline int64_t toSignal(int16_t sample) { return int64_t{sample} * (int64_t{1} << kSignalShift); }

inline int16_t saturate16(int64_t value) {
    return static_cast<int16_t>(std::clamp<int64_t>(value, -32768, 32767));
}

// Back from a filter signal to a sample, rounded to nearest and saturated.
inline int16_t fromSignal(int64_t signal) {
    return saturate16((signal + (int64_t{1} << (kSignalShift - 1))) >> kSignalShift);
}

// A value that moves towards its target by at most `step` per call.
struct Ramp {
    int32_t value = 0;
    int32_t target = 0;
    void advance(int32_t step) {
        if (value < target)
            value = std::min(value + step, target);
        else if (value > target)
            value = std::max(value - step, target);
    }
    bool settled() const { return value == target; }
};

// Coefficients of a state-variable filter, Q30: g = tan(pi fc / fs), k = 1 / Q.
struct SvfCoefficients {
    int64_t a1 = 0, a2 = 0, a3 = 0, k = 0;
};

// Integer only, so the sound thread may call it when a cut-off moves. `g` and `k` in Q30,
// g up to about 8, k up to 2.
inline SvfCoefficients svfCoefficients(int64_t g, int64_t k) {
    __extension__ typedef __int128 Wide;  // GCC and Clang have it on 64-bit targets
    const Wide denominator = Wide{kOneQ30} + ((Wide{g} * (g + k)) >> 30);
    const auto a1 = static_cast<int64_t>((Wide{1} << 60) / denominator);
    const auto a2 = static_cast<int64_t>((Wide{g} * a1) >> 30);
    const auto a3 = static_cast<int64_t>((Wide{g} * a2) >> 30);
    return {a1, a2, a3, k};
}

struct SvfOutput {
    int64_t low, band, high;
};

struct SvfState {
    int64_t ic1 = 0, ic2 = 0;

    // One sample of filter signal in, the three responses out.
    SvfOutput tick(const SvfCoefficients& c, int64_t v0) {
        const int64_t v3 = v0 - ic2;
        const int64_t v1 = (c.a1 * ic1 + c.a2 * v3) >> 30;
        const int64_t v2 = ic2 + ((c.a2 * ic1 + c.a3 * v3) >> 30);
        // The bound keeps the products inside 64 bits whatever a resonant filter is fed;
        // it lies far above anything audio reaches (64 x full scale).
        constexpr int64_t kBound = int64_t{1} << 31;
        ic1 = std::clamp(2 * v1 - ic1, -kBound, kBound);
        ic2 = std::clamp(2 * v2 - ic2, -kBound, kBound);
        return {v2, v1, v0 - ((c.k * v1) >> 30) - v2};
    }
};

// Q30 of a real coefficient; for tables built outside the sound thread.
int64_t toQ30(double value);
// g of a cut-off frequency at 44100 Hz, Q30.
int64_t svfG(double cutoffHz);

}  // namespace spinlorex::effects
