#pragma once

#include <cstdint>
#include <vector>

#include "analysis/OnsetEnvelope.h"

namespace spinlorex {

// How sharply a track's level rises, in hops of 256 frames (5.8 ms): the rise of the
// logarithm of the level over the last 11.6 ms from one hop to the next, 0 where it falls.
// Entry m stands for a rise during the 256 frames before frame m * 256.
inline constexpr int32_t kOnsetHopLevels = 16;  // level hops per onset hop
inline constexpr int32_t kOnsetHopFrames = kOnsetHopLevels * OnsetEnvelope::kHopFrames;

std::vector<float> onsetStrength(const std::vector<uint16_t>& levels);

}  // namespace spinlorex
