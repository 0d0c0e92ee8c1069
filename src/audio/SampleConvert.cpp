#include "audio/SampleConvert.h"

#include <algorithm>
#include <cmath>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace spinlorex {
namespace {

int16_t roundAndClip(float x) {
    if (!(x == x)) return 0;  // NaN
    return static_cast<int16_t>(std::nearbyint(std::clamp(x, -32768.0f, 32767.0f)));
}

}  // namespace

void toPcm16(const float* in, int16_t* out, int32_t samples) {
    int32_t i = 0;
#if defined(__SSE2__)
    // NaN masked to 0, clamped, converted by the rounding mode (nearest, halves to even),
    // packed with saturation.
    const __m128 low = _mm_set1_ps(-32768.0f);
    const __m128 high = _mm_set1_ps(32767.0f);
    for (; i + 8 <= samples; i += 8) {
        __m128 a = _mm_loadu_ps(in + i);
        __m128 b = _mm_loadu_ps(in + i + 4);
        a = _mm_min_ps(_mm_max_ps(_mm_and_ps(a, _mm_cmpord_ps(a, a)), low), high);
        b = _mm_min_ps(_mm_max_ps(_mm_and_ps(b, _mm_cmpord_ps(b, b)), low), high);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + i),
                         _mm_packs_epi32(_mm_cvtps_epi32(a), _mm_cvtps_epi32(b)));
    }
#endif
    for (; i < samples; ++i) out[i] = roundAndClip(in[i]);
}

void fromPcm16(const int16_t* in, float* out, int32_t samples) {
    int32_t i = 0;
#if defined(__SSE2__)
    for (; i + 8 <= samples; i += 8) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + i));
        // Each sample into the top half of a 32-bit lane, shifted down with its sign.
        _mm_storeu_ps(out + i, _mm_cvtepi32_ps(_mm_srai_epi32(_mm_unpacklo_epi16(v, v), 16)));
        _mm_storeu_ps(out + i + 4, _mm_cvtepi32_ps(_mm_srai_epi32(_mm_unpackhi_epi16(v, v), 16)));
    }
#endif
    for (; i < samples; ++i) out[i] = in[i];
}

}  // namespace spinlorex
