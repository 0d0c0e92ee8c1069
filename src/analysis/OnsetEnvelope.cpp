#include "analysis/OnsetEnvelope.h"

#include <algorithm>
#include <cstdlib>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace spinlorex {
namespace {

constexpr int32_t kHopSamples = 2 * OnsetEnvelope::kHopFrames;

// The level of one hop of interleaved stereo frames: the mean of |left + right| / 2. A sum
// is at most 16 * 65536, well inside 32 bits.
uint16_t hopLevel(const int16_t* f) {
    int32_t sum = 0;
    for (int32_t j = 0; j < OnsetEnvelope::kHopFrames; ++j)
        sum += std::abs(f[2 * j] + f[2 * j + 1]);
    return static_cast<uint16_t>(sum / kHopSamples);
}

// The levels of `hops` whole hops from `f` on.
void hopLevels(const int16_t* f, int32_t hops, uint16_t* out) {
    int32_t h = 0;
#if defined(__SSE2__)
    // Four hops at a time: each frame's two samples summed into 32 bits (four frames a
    // register), their absolute values added up per hop, and the four hops' sums gathered
    // into one register before dividing.
    const __m128i ones = _mm_set1_epi16(1);
    for (; h + 4 <= hops; h += 4, f += 4 * kHopSamples) {
        __m128i sums[4];
        for (int32_t k = 0; k < 4; ++k) {
            __m128i sum = _mm_setzero_si128();
            for (int32_t j = 0; j < kHopSamples; j += 8) {
                const __m128i frames = _mm_madd_epi16(
                    _mm_loadu_si128(reinterpret_cast<const __m128i*>(f + k * kHopSamples + j)),
                    ones);
                const __m128i sign = _mm_srai_epi32(frames, 31);
                sum = _mm_add_epi32(sum, _mm_sub_epi32(_mm_xor_si128(frames, sign), sign));
            }
            sums[k] = sum;
        }
        const __m128i first = _mm_add_epi32(_mm_unpacklo_epi32(sums[0], sums[1]),
                                            _mm_unpackhi_epi32(sums[0], sums[1]));
        const __m128i second = _mm_add_epi32(_mm_unpacklo_epi32(sums[2], sums[3]),
                                             _mm_unpackhi_epi32(sums[2], sums[3]));
        const __m128i total =
            _mm_add_epi32(_mm_unpacklo_epi64(first, second), _mm_unpackhi_epi64(first, second));
        alignas(16) int32_t levels[4];
        _mm_store_si128(reinterpret_cast<__m128i*>(levels), _mm_srli_epi32(total, 5));
        static_assert(kHopSamples == 32, "the shift divides by the samples of a hop");
        for (int32_t k = 0; k < 4; ++k) out[h + k] = static_cast<uint16_t>(levels[k]);
    }
#endif
    for (; h < hops; ++h, f += kHopSamples) out[h] = hopLevel(f);
}

}  // namespace

void OnsetEnvelope::clear() {
    levels_.clear();
    partialSum_ = 0;
    partialFrames_ = 0;
}

void OnsetEnvelope::reserve(int64_t frames) {
    levels_.reserve(static_cast<size_t>(std::max<int64_t>(0, frames / kHopFrames + 1)));
}

void OnsetEnvelope::feed(const int16_t* frames, int32_t count) {
    int32_t i = 0;
    // Finish a hop begun by the last call.
    for (; partialFrames_ > 0 && i < count; ++i) {
        partialSum_ += std::abs(frames[2 * i] + frames[2 * i + 1]);
        if (++partialFrames_ == kHopFrames) {
            levels_.push_back(static_cast<uint16_t>(partialSum_ / kHopSamples));
            partialSum_ = 0;
            partialFrames_ = 0;
        }
    }
    const int32_t hops = (count - i) / kHopFrames;
    const size_t first = levels_.size();
    levels_.resize(first + static_cast<size_t>(hops));
    hopLevels(frames + 2 * i, hops, levels_.data() + first);
    i += hops * kHopFrames;
    for (; i < count; ++i) {
        partialSum_ += std::abs(frames[2 * i] + frames[2 * i + 1]);
        ++partialFrames_;
    }
}

}  // namespace spinlorex
