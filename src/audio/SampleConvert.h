#pragma once

#include <cstdint>

namespace spinlorex {

// Float samples in 16-bit scale become the engine's 16-bit samples: rounded to the nearest
// (halves to even, so whole values pass unchanged), clipped to -32768..32767, NaN as 0.
// Sound thread; no allocation.
void toPcm16(const float* in, int16_t* out, int32_t samples);

// 16-bit samples as floats in 16-bit scale (exactly). Sound thread; no allocation.
void fromPcm16(const int16_t* in, float* out, int32_t samples);

}  // namespace spinlorex
