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
    float previous = 0.0f;
    int64_t windowSum = 0;
    for (int32_t m = 0; m < hops; ++m) {
        const int32_t end = m * kOnsetHopLevels;
        for (int32_t n = end - kOnsetHopLevels; n < end; ++n) {
            if (n >= 0) windowSum += levels[static_cast<size_t>(n)];
            if (n - kWindowLevels >= 0) windowSum -= levels[static_cast<size_t>(n - kWindowLevels)];
        }
        const float logLevel =
            std::log(static_cast<float>(windowSum) / kWindowLevels + kLevelFloor);
        if (m > 0) onsets[static_cast<size_t>(m)] = std::max(0.0f, logLevel - previous);
        previous = logLevel;
    }
    return onsets;
}

}  // namespace spinlorex
