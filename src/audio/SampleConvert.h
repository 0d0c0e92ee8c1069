#pragma once

#include <cstdint>

namespace spinlorex {

// Float samples in 16-bit scale become the engine's 16-bit samples: rounded to the nearest
// (halves away from zero, so whole values pass unchanged), clipped to -32768..32767, NaN
// as 0. Sound thread; no allocation.
void toPcm16(const float* in, int16_t* out, int32_t samples);

}  // namespace spinlorex
