#include "analysis/OnsetStrength.h"

#include <algorithm>
#include <cmath>

namespace spinlorex {
namespace {

constexpr int32_t kWindowLevels = 32;  // 512 frames: smooths the ripple of bass notes
constexpr float kLevelFloor = 16.0f;   // about -66 dB: hiss and dither make no onsets

}  // namespace

std::vector<float> onsetStrength(const std::vector<uint16_t>& levels) {
    const auto hops = static_cast<int32_t>(levels.size()) / kOnsetHopLevels;
    std::vector<float> onsets(static_cast<size_t>(std::max(hops, 0)), 0.0f);
    static_assert(kWindowLevels == 2 * kOnsetHopLevels, "the window is the last two hops");
    float previous = 0.0f;
    int64_t lastHop = 0, hopBefore = 0;  // level sums of the two hops before hop m
    for (int32_t m = 0; m < hops; ++m) {
        const int64_t windowSum = lastHop + hopBefore;
        const float logLevel =
            std::log(static_cast<float>(windowSum) / kWindowLevels + kLevelFloor);
        if (m > 0) onsets[static_cast<size_t>(m)] = std::max(0.0f, logLevel - previous);
        previous = logLevel;
        hopBefore = lastHop;
        lastHop = 0;
        const uint16_t* hop = levels.data() + static_cast<size_t>(m) * kOnsetHopLevels;
        for (int32_t n = 0; n < kOnsetHopLevels; ++n) lastHop += hop[n];
    }
    return onsets;
}

}  // namespace spinlorex
