#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "plugins/effects/Effect.h"

namespace spinlorex::effects {
namespace {

constexpr ParamSpec kParams[] = {
    {"gain", "Gain", -GainLimiter::kGainSteps, GainLimiter::kGainSteps, 0},
    {"ceiling", "Ceiling", -GainLimiter::kCeilingSteps, 0, 0},
};
// The gain reduction recovers by 1/4096 of what is left per frame (about 90 ms).
constexpr int kReleaseShift = 12;

double fromHalfDecibels(int32_t halfDecibels) { return std::pow(10.0, halfDecibels / 40.0); }

}  // namespace

GainLimiter::GainLimiter() {
    initParams();
    for (int32_t i = -kGainSteps; i <= kGainSteps; ++i)
        gainQ16_[static_cast<size_t>(i + kGainSteps)] = std::llround(65536.0 * fromHalfDecibels(i));
    for (int32_t i = 0; i <= kCeilingSteps; ++i)
        ceiling_[static_cast<size_t>(i)] = ceilingLevel(-i);
}

int32_t GainLimiter::ceilingLevel(int32_t halfDecibels) {
    // Full scale is 32768: a 0 dBFS ceiling lets every 16-bit sample through, -32768 too.
    return static_cast<int32_t>(std::floor(32768.0 * fromHalfDecibels(std::min(halfDecibels, 0))));
}

std::span<const ParamSpec> GainLimiter::params() const { return kParams; }

std::string GainLimiter::valueText(int index, int32_t value) const {
    char text[32];
    std::snprintf(text, sizeof text, index == kGain ? "%+.1f dB" : "%.1f dBFS", value / 2.0);
    return text;
}

void GainLimiter::process(int16_t* samples, int32_t frames, int32_t channels) {
    constexpr int64_t kOne = int64_t{1} << 30;
    const int64_t gain = gainQ16_[static_cast<size_t>(param(kGain) + kGainSteps)];
    const int64_t ceiling = ceiling_[static_cast<size_t>(-param(kCeiling))];

    for (int32_t f = 0; f < frames; ++f) {
        if (reduce_ < kOne)
            reduce_ =
                std::min(kOne, reduce_ + std::max<int64_t>(1, (kOne - reduce_) >> kReleaseShift));
        int16_t* frame = samples + f * channels;
        int64_t peak = 0;
        for (int32_t c = 0; c < channels; ++c)
            peak = std::max<int64_t>(peak, std::abs(int32_t{frame[c]}));
        // Gain and reduction as one Q32 factor. A frame that would pass the ceiling gets
        // exactly the factor that puts its peak on it (rounded down), at once.
        int64_t factor = (gain * reduce_) >> 14;
        if (peak * factor > ceiling << 32) {
            factor = (ceiling << 32) / peak;
            reduce_ = (factor << 14) / gain;
        }
        for (int32_t c = 0; c < channels; ++c) frame[c] = saturate16((frame[c] * factor) >> 32);
    }
}

}  // namespace spinlorex::effects
