#include "audio/SampleConvert.h"

#include <algorithm>

namespace spinlorex {

void toPcm16(const float* in, int16_t* out, int32_t samples) {
    for (int32_t i = 0; i < samples; ++i) {
        // The comparison is false for NaN, which thus becomes 0.
        const float x = in[i] >= -32768.0f ? std::min(in[i], 32767.0f) : (in[i] < 0.0f ? -32768.0f : 0.0f);
        out[i] = static_cast<int16_t>(static_cast<int32_t>(x >= 0.0f ? x + 0.5f : x - 0.5f));
    }
}

}  // namespace spinlorex
