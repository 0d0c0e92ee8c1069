#pragma once

#include <cstdint>

namespace spinlorex {

// Crossfader position 0..384: 0 = deck 1 only, 192 = middle, 384 = deck 2 only.
inline constexpr int32_t kCrossfaderMiddle = 192;
inline constexpr int32_t kCrossfaderMax = 384;

struct CrossfaderGains {
    int32_t left;   // deck 1, 0..256
    int32_t right;  // deck 2, 0..256
};

// The two deck gains for a crossfader position under the "Crossfader" setting's curve:
// 0 smooth, 1 full, 2 cut. An unknown curve gives silence and puts the setting back to 0.
// Main thread (it may change the setting).
CrossfaderGains crossfaderGains(int32_t position);

// A product level x gain (0..65536) as a volume in hundredths of a decibel: -10000 for
// anything below 11, else 2000 x log10(v / 65536) truncated (0 at full level). Any thread.
int32_t toHundredthsDb(int32_t value);

}  // namespace spinlorex
