// The beat analyser's inner loops for AVX2 and AVX-512, built with function-level targets so
// that the rest of the program keeps the baseline instruction set; chosen at run time.
//
// Both dot products ride on pmaddwd, which multiplies neighbouring int16 pairs and adds
// each pair into one int32 lane. Loading 16 int16 at window + j gives the pairs
// (w[j], w[j+1]), (w[j+2], w[j+3]), ...; multiplied by a broadcast pair of coefficients
// (c0, c1) lane l gets c0 * w[j + 2l] + c1 * w[j + 2l + 1], which is two consecutive terms
// of the output at offset 2l. A second load at window + j + 1 yields the odd offsets.
// So each vector covers every other output, and two of them cover 16 consecutive ones.
// With |bass| <= 576 and |tap| <= 993 a lane's pair sum cannot overflow; the accumulators
// wrap exactly as the 32-bit sums they stand for.

#include "analysis/BeatKernels.h"

#if defined(__x86_64__) || defined(__i386__)

#include <immintrin.h>

#include <cstring>

namespace spinlorex::beat {
namespace {

#define SPX_AVX2 __attribute__((target("avx2")))

SPX_AVX2 inline __m256i load(const int16_t* p) {
    return _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p));
}

// (lo, hi) as one 32-bit broadcast.
SPX_AVX2 inline __m256i pair(int16_t lo, int16_t hi) {
    return _mm256_set1_epi32(static_cast<int32_t>(
        static_cast<uint16_t>(lo) | (static_cast<uint32_t>(static_cast<uint16_t>(hi)) << 16)));
}

SPX_AVX2 inline int32_t horizontalSum(__m256i v) {
    __m128i s = _mm_add_epi32(_mm256_castsi256_si128(v), _mm256_extracti128_si256(v, 1));
    s = _mm_add_epi32(s, _mm_shuffle_epi32(s, 0x4E));
    s = _mm_add_epi32(s, _mm_shuffle_epi32(s, 0xB1));
    return _mm_cvtsi128_si32(s);
}

SPX_AVX2 void bassValuesAvx2(const int16_t* block, int16_t* bass) {
    // Two steps are 144 samples, nine vectors; the fifth holds the end of one step in its
    // lower half and the start of the next in its upper half.
    const __m256i ones = _mm256_set1_epi16(1);
    for (int32_t t = 0; t < kStepsPerBlock; t += 2) {
        const int16_t* s = block + t * kSamplesPerStep;
        const __m256i a = _mm256_add_epi32(_mm256_add_epi32(_mm256_madd_epi16(load(s), ones),
                                                            _mm256_madd_epi16(load(s + 16), ones)),
                                           _mm256_add_epi32(_mm256_madd_epi16(load(s + 32), ones),
                                                            _mm256_madd_epi16(load(s + 48), ones)));
        const __m256i middle = _mm256_madd_epi16(load(s + 64), ones);
        const __m256i b =
            _mm256_add_epi32(_mm256_add_epi32(_mm256_madd_epi16(load(s + 80), ones),
                                              _mm256_madd_epi16(load(s + 96), ones)),
                             _mm256_add_epi32(_mm256_madd_epi16(load(s + 112), ones),
                                              _mm256_madd_epi16(load(s + 128), ones)));
        const __m256i lowHalf =
            _mm256_permute2x128_si256(middle, middle, 0x80);  // upper lane zeroed
        const __m256i highHalf =
            _mm256_permute2x128_si256(middle, middle, 0x81);  // upper lane moved down
        bass[t] = static_cast<int16_t>(horizontalSum(_mm256_add_epi32(a, lowHalf)) / 4096);
        bass[t + 1] = static_cast<int16_t>(horizontalSum(_mm256_add_epi32(b, highHalf)) / 4096);
    }
}

// Adds the even-offset and odd-offset sums of 16 consecutive lags to correlation[0..16).
SPX_AVX2 inline void addInterleaved(int32_t* correlation, __m256i even, __m256i odd) {
    const __m256i lo = _mm256_unpacklo_epi32(even, odd);  // lags 0-3 | 8-11
    const __m256i hi = _mm256_unpackhi_epi32(even, odd);  // lags 4-7 | 12-15
    auto* c = reinterpret_cast<__m256i*>(correlation);
    _mm256_storeu_si256(
        c, _mm256_add_epi32(_mm256_loadu_si256(c), _mm256_permute2x128_si256(lo, hi, 0x20)));
    _mm256_storeu_si256(c + 1, _mm256_add_epi32(_mm256_loadu_si256(c + 1),
                                                _mm256_permute2x128_si256(lo, hi, 0x31)));
}

SPX_AVX2 void correlateAvx2(int32_t* correlation, const int16_t* addWindow,
                            const int16_t* subWindow, const int16_t* add, const int16_t* sub) {
    __m256i addPair[kStepsPerBlock / 2];
    __m256i subPair[kStepsPerBlock / 2];
    for (int32_t j = 0; j < kStepsPerBlock / 2; ++j) {
        addPair[j] = pair(add[2 * j], add[2 * j + 1]);
        subPair[j] = pair(static_cast<int16_t>(-sub[2 * j]), static_cast<int16_t>(-sub[2 * j + 1]));
    }
    for (int32_t k = 0; k < kLagsPadded; k += 32) {
        __m256i even0 = _mm256_setzero_si256(), odd0 = _mm256_setzero_si256();
        __m256i even1 = _mm256_setzero_si256(), odd1 = _mm256_setzero_si256();
        for (int32_t j = 0; j < kStepsPerBlock / 2; ++j) {
            const int16_t* a = addWindow + 2 * j + k;
            const int16_t* s = subWindow + 2 * j + k;
            even0 = _mm256_add_epi32(even0, _mm256_madd_epi16(load(a), addPair[j]));
            odd0 = _mm256_add_epi32(odd0, _mm256_madd_epi16(load(a + 1), addPair[j]));
            even1 = _mm256_add_epi32(even1, _mm256_madd_epi16(load(a + 16), addPair[j]));
            odd1 = _mm256_add_epi32(odd1, _mm256_madd_epi16(load(a + 17), addPair[j]));
            even0 = _mm256_add_epi32(even0, _mm256_madd_epi16(load(s), subPair[j]));
            odd0 = _mm256_add_epi32(odd0, _mm256_madd_epi16(load(s + 1), subPair[j]));
            even1 = _mm256_add_epi32(even1, _mm256_madd_epi16(load(s + 16), subPair[j]));
            odd1 = _mm256_add_epi32(odd1, _mm256_madd_epi16(load(s + 17), subPair[j]));
        }
        addInterleaved(correlation + k, even0, odd0);
        addInterleaved(correlation + k + 16, even1, odd1);
    }
}

SPX_AVX2 void onsetResponsesAvx2(const int16_t* taps, const int32_t* lengths, const int16_t* window,
                                 int32_t* responses) {
    for (int32_t i = 0; i < kKernels; ++i) {
        const int16_t* tap = taps + i * kTapStride;
        __m256i even0 = _mm256_setzero_si256(), odd0 = _mm256_setzero_si256();
        __m256i even1 = _mm256_setzero_si256(), odd1 = _mm256_setzero_si256();
        for (int32_t k = 0; k < lengths[i]; k += 2) {  // an odd length meets a zero pad tap
            const __m256i c = pair(tap[k], tap[k + 1]);
            const int16_t* w = window + k;
            even0 = _mm256_add_epi32(even0, _mm256_madd_epi16(load(w), c));
            odd0 = _mm256_add_epi32(odd0, _mm256_madd_epi16(load(w + 1), c));
            even1 = _mm256_add_epi32(even1, _mm256_madd_epi16(load(w + 16), c));
            odd1 = _mm256_add_epi32(odd1, _mm256_madd_epi16(load(w + 17), c));
        }
        auto* out = reinterpret_cast<__m256i*>(responses + i * kStepsPerBlock);
        _mm256_storeu_si256(out, _mm256_abs_epi32(even0));
        _mm256_storeu_si256(out + 1, _mm256_abs_epi32(odd0));
        _mm256_storeu_si256(out + 2, _mm256_abs_epi32(even1));
        _mm256_storeu_si256(out + 3, _mm256_abs_epi32(odd1));
    }
}

SPX_AVX2 int32_t findPeakAvx2(const int32_t* values, int32_t count, int32_t* maximum) {
    __m256i best = _mm256_setzero_si256();
    int32_t k = 0;
    for (; k + 8 <= count; k += 8)
        best = _mm256_max_epi32(best,
                                _mm256_loadu_si256(reinterpret_cast<const __m256i*>(values + k)));
    __m128i m = _mm_max_epi32(_mm256_castsi256_si128(best), _mm256_extracti128_si256(best, 1));
    m = _mm_max_epi32(m, _mm_shuffle_epi32(m, 0x4E));
    m = _mm_max_epi32(m, _mm_shuffle_epi32(m, 0xB1));
    int32_t top = _mm_cvtsi128_si32(m);
    for (int32_t r = k; r < count; ++r) top = values[r] > top ? values[r] : top;
    *maximum = top;
    if (top <= 0) return 0;
    const __m256i target = _mm256_set1_epi32(top);
    for (k = 0; k + 8 <= count; k += 8) {
        const __m256i eq = _mm256_cmpeq_epi32(
            _mm256_loadu_si256(reinterpret_cast<const __m256i*>(values + k)), target);
        const int mask = _mm256_movemask_ps(_mm256_castsi256_ps(eq));
        if (mask != 0) return k + __builtin_ctz(static_cast<unsigned>(mask));
    }
    for (; k < count; ++k)
        if (values[k] == top) return k;
    return 0;  // not reached: top came from values
}

#undef SPX_AVX2

// The same loops on 512-bit vectors: a load covers 16 pairs, so even and odd offsets each
// take 16 outputs and one pair of accumulators spans 32 consecutive outputs.
#define SPX_AVX512 __attribute__((target("avx512f,avx512bw")))

// GCC 12's AVX-512 headers fill "don't care" operands from a self-initialised variable,
// which -Wuninitialized reports inside every caller.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wuninitialized"
#if !defined(__clang__)
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#endif

SPX_AVX512 inline __m512i load512(const int16_t* p) { return _mm512_loadu_si512(p); }

SPX_AVX512 inline __m512i pair512(int16_t lo, int16_t hi) {
    return _mm512_set1_epi32(static_cast<int32_t>(
        static_cast<uint16_t>(lo) | (static_cast<uint32_t>(static_cast<uint16_t>(hi)) << 16)));
}

// Adds the even-offset and odd-offset sums of 32 consecutive lags to correlation[0..32).
SPX_AVX512 inline void addInterleaved512(int32_t* correlation, __m512i even, __m512i odd) {
    const __m512i lo = _mm512_unpacklo_epi32(even, odd);  // per 128-bit lane n: lags 8n + 0..3
    const __m512i hi = _mm512_unpackhi_epi32(even, odd);  // per 128-bit lane n: lags 8n + 4..7
    const __m512i first =
        _mm512_permutex2var_epi64(lo, _mm512_setr_epi64(0, 1, 8, 9, 2, 3, 10, 11), hi);
    const __m512i second =
        _mm512_permutex2var_epi64(lo, _mm512_setr_epi64(4, 5, 12, 13, 6, 7, 14, 15), hi);
    _mm512_storeu_si512(correlation, _mm512_add_epi32(_mm512_loadu_si512(correlation), first));
    _mm512_storeu_si512(correlation + 16,
                        _mm512_add_epi32(_mm512_loadu_si512(correlation + 16), second));
}

SPX_AVX512 void correlateAvx512(int32_t* correlation, const int16_t* addWindow,
                                const int16_t* subWindow, const int16_t* add, const int16_t* sub) {
    __m512i addPair[kStepsPerBlock / 2];
    __m512i subPair[kStepsPerBlock / 2];
    for (int32_t j = 0; j < kStepsPerBlock / 2; ++j) {
        addPair[j] = pair512(add[2 * j], add[2 * j + 1]);
        subPair[j] =
            pair512(static_cast<int16_t>(-sub[2 * j]), static_cast<int16_t>(-sub[2 * j + 1]));
    }
    for (int32_t k = 0; k < kLagsPadded; k += 64) {
        __m512i even0 = _mm512_setzero_si512(), odd0 = _mm512_setzero_si512();
        __m512i even1 = _mm512_setzero_si512(), odd1 = _mm512_setzero_si512();
        for (int32_t j = 0; j < kStepsPerBlock / 2; ++j) {
            const int16_t* a = addWindow + 2 * j + k;
            const int16_t* s = subWindow + 2 * j + k;
            even0 = _mm512_add_epi32(even0, _mm512_madd_epi16(load512(a), addPair[j]));
            odd0 = _mm512_add_epi32(odd0, _mm512_madd_epi16(load512(a + 1), addPair[j]));
            even1 = _mm512_add_epi32(even1, _mm512_madd_epi16(load512(a + 32), addPair[j]));
            odd1 = _mm512_add_epi32(odd1, _mm512_madd_epi16(load512(a + 33), addPair[j]));
            even0 = _mm512_add_epi32(even0, _mm512_madd_epi16(load512(s), subPair[j]));
            odd0 = _mm512_add_epi32(odd0, _mm512_madd_epi16(load512(s + 1), subPair[j]));
            even1 = _mm512_add_epi32(even1, _mm512_madd_epi16(load512(s + 32), subPair[j]));
            odd1 = _mm512_add_epi32(odd1, _mm512_madd_epi16(load512(s + 33), subPair[j]));
        }
        addInterleaved512(correlation + k, even0, odd0);
        addInterleaved512(correlation + k + 32, even1, odd1);
    }
}

SPX_AVX512 void onsetResponsesAvx512(const int16_t* taps, const int32_t* lengths,
                                     const int16_t* window, int32_t* responses) {
    const __m512i firstHalves = _mm512_setr_epi64(0, 1, 2, 3, 8, 9, 10, 11);
    const __m512i secondHalves = _mm512_setr_epi64(4, 5, 6, 7, 12, 13, 14, 15);
    for (int32_t i = 0; i < kKernels; ++i) {
        const int16_t* tap = taps + i * kTapStride;
        __m512i even = _mm512_setzero_si512(), odd = _mm512_setzero_si512();
        for (int32_t k = 0; k < lengths[i]; k += 2) {  // an odd length meets a zero pad tap
            const __m512i c = pair512(tap[k], tap[k + 1]);
            even = _mm512_add_epi32(even, _mm512_madd_epi16(load512(window + k), c));
            odd = _mm512_add_epi32(odd, _mm512_madd_epi16(load512(window + k + 1), c));
        }
        even = _mm512_abs_epi32(even);  // steps 0, 2, .. 30
        odd = _mm512_abs_epi32(odd);    // steps 1, 3, .. 31
        int32_t* out = responses + i * kStepsPerBlock;
        _mm512_storeu_si512(out, _mm512_permutex2var_epi64(even, firstHalves, odd));
        _mm512_storeu_si512(out + 16, _mm512_permutex2var_epi64(even, secondHalves, odd));
    }
}

#pragma GCC diagnostic pop
#undef SPX_AVX512

}  // namespace

const Kernels kAvx2Kernels{"avx2", bassValuesAvx2, correlateAvx2, onsetResponsesAvx2, findPeakAvx2};
// Bass values and the peak search are too small to gain from wider vectors.
const Kernels kAvx512Kernels{"avx512", bassValuesAvx2, correlateAvx512, onsetResponsesAvx512,
                             findPeakAvx2};

}  // namespace spinlorex::beat

#endif
