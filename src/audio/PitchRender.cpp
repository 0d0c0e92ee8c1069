#include "audio/PitchRender.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <numbers>

#include "audio/AudioFormat.h"

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#endif

namespace spinlorex {
namespace {

constexpr int32_t kTailSamples = kCrossfadeFrames * 2;

// Candidate offsets in samples: the first stage is absolute, each later one is searched
// around the best found so far.
constexpr std::array<std::array<int32_t, 8>, 4> kOverlapStages = {{
    {248, 498, 748, 998, 1248, 1498, 1748, 1998},
    {-200, -150, -100, -50, 50, 100, 150, 200},
    {-40, -30, -20, -10, 10, 20, 30, 40},
    {-8, -6, -4, -2, 2, 4, 6, 8},
}};

// The tail windowed for scoring. |w| reaches 65536, so w * s can just exceed 32 bits; the
// window is kept split as w = hi * 256 + lo (lo 0..255), which gives every term exactly:
// (w * s) >> 8 = hi * s + ((lo * s) >> 8). Both halves fit 16 bits, so the vector path
// multiplies 16-bit pairs. Entries 0 and 1 (frame 0) have weight 0, so summing from 0
// equals summing from 2.
struct OverlapWindow {
    alignas(64) std::array<int16_t, kTailSamples> hi;
    alignas(64) std::array<int16_t, kTailSamples> loEven;  // lo at even samples, 0 at odd
    alignas(64) std::array<int16_t, kTailSamples> loOdd;   // lo at odd samples, 0 at even
};

// Sum over i of (w[i] * s[i]) >> 8, each term shifted before it is added, the sum wrapping
// at 32 bits.
int32_t overlapScoreScalar(const OverlapWindow& w, const int16_t* s) {
    uint32_t sum = 0;
    for (int32_t i = 2; i < kTailSamples; ++i) {
        const int32_t v = s[i];
        const int32_t lo = w.loEven[static_cast<size_t>(i)] + w.loOdd[static_cast<size_t>(i)];
        sum += static_cast<uint32_t>(w.hi[static_cast<size_t>(i)] * v + ((lo * v) >> 8));
    }
    return static_cast<int32_t>(sum);
}

#if defined(__x86_64__) || defined(__i386__)
// Sixteen samples at a time: pmaddwd gives hi[i] s[i] + hi[i+1] s[i+1] exactly, and with
// the zero-interleaved lo halves the single products lo[i] s[i], each shifted on its own.
__attribute__((target("avx2"))) int32_t overlapScoreAvx2(const OverlapWindow& w, const int16_t* s) {
    __m256i sum = _mm256_setzero_si256();
    for (int32_t i = 0; i < kTailSamples; i += 16) {
        const __m256i v = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(s + i));
        const __m256i hi =
            _mm256_load_si256(reinterpret_cast<const __m256i*>(&w.hi[static_cast<size_t>(i)]));
        const __m256i le =
            _mm256_load_si256(reinterpret_cast<const __m256i*>(&w.loEven[static_cast<size_t>(i)]));
        const __m256i lo =
            _mm256_load_si256(reinterpret_cast<const __m256i*>(&w.loOdd[static_cast<size_t>(i)]));
        sum = _mm256_add_epi32(sum, _mm256_madd_epi16(hi, v));
        sum = _mm256_add_epi32(sum, _mm256_srai_epi32(_mm256_madd_epi16(le, v), 8));
        sum = _mm256_add_epi32(sum, _mm256_srai_epi32(_mm256_madd_epi16(lo, v), 8));
    }
    const __m128i quad =
        _mm_add_epi32(_mm256_castsi256_si128(sum), _mm256_extracti128_si256(sum, 1));
    const __m128i pair = _mm_add_epi32(quad, _mm_shuffle_epi32(quad, 0x4E));
    return _mm_cvtsi128_si32(_mm_add_epi32(pair, _mm_shuffle_epi32(pair, 0xB1)));
}
#endif

// Varispeed taps: for each of the 4096 phases t, the 16 weights of the frames j-7 .. j+8
// for the position j + t: a sinc windowed by a Kaiser window (beta 8) reaching 8 frames to
// either side, scaled to sum to 1 and held in 1.14 fixed point. At phase 0 only the frame
// itself weighs (16384).
constexpr int32_t kTaps = kVarispeedHistory + 1 + kVarispeedLookahead;
constexpr int32_t kPhases = 4096;
constexpr int32_t kTapShift = 14;
static_assert(kTaps == 16, "the vector path takes 16 taps");

struct VarispeedTaps {
    alignas(64) std::array<int16_t, static_cast<size_t>(kPhases* kTaps)> taps;
};

double besselI0(double x) {
    double sum = 1.0, term = 1.0;
    for (int k = 1; k < 40; ++k) {
        term *= x / (2.0 * k);
        sum += term * term;
    }
    return sum;
}

VarispeedTaps makeVarispeedTaps() {
    constexpr double kBeta = 8.0;
    constexpr double kHalfWidth = kTaps / 2;
    VarispeedTaps v{};
    for (int32_t p = 0; p < kPhases; ++p) {
        const double t = p / static_cast<double>(kPhases);
        std::array<double, kTaps> w{};
        double sum = 0.0;
        for (int32_t m = 0; m < kTaps; ++m) {
            const double x = (m - kVarispeedHistory) - t;
            const double sinc =
                x == 0.0 ? 1.0 : std::sin(std::numbers::pi * x) / (std::numbers::pi * x);
            const double u = x / kHalfWidth;
            w[static_cast<size_t>(m)] =
                sinc * besselI0(kBeta * std::sqrt(std::max(0.0, 1.0 - u * u))) / besselI0(kBeta);
            sum += w[static_cast<size_t>(m)];
        }
        // Rounded to fixed point; what the rounding takes from the sum goes to the largest
        // tap, so a constant passes exactly.
        int16_t* row = &v.taps[static_cast<size_t>(p * kTaps)];
        int32_t fixedSum = 0;
        int32_t largest = 0;
        for (int32_t m = 0; m < kTaps; ++m) {
            row[m] = static_cast<int16_t>(
                std::lround(w[static_cast<size_t>(m)] / sum * (1 << kTapShift)));
            fixedSum += row[m];
            if (std::abs(row[m]) > std::abs(row[largest])) largest = m;
        }
        row[largest] = static_cast<int16_t>(row[largest] + (1 << kTapShift) - fixedSum);
    }
    return v;
}

// Built before main() runs, so the sound thread never initialises anything.
const VarispeedTaps g_varispeedTaps = makeVarispeedTaps();

int16_t saturate16(int32_t v) { return static_cast<int16_t>(std::clamp(v, -32768, 32767)); }

// The interpolation loop; the sums are exact in 32 bits (the taps' magnitudes add up to
// well under 2), so every version gives the same bits.
int32_t varispeedScalar(const int16_t* src, int16_t* out, int32_t frames, int32_t pitch,
                        int32_t& phase) {
    int32_t j = 0;
    int32_t ph = phase;
    for (int32_t k = 0; k < frames; ++k) {
        const int16_t* s = src + 2 * (j - kVarispeedHistory);
        const int16_t* c = &g_varispeedTaps.taps[static_cast<size_t>(ph * kTaps)];
        int32_t left = 1 << (kTapShift - 1);
        int32_t right = left;
        for (int32_t m = 0; m < kTaps; ++m) {
            left += c[m] * s[2 * m];
            right += c[m] * s[2 * m + 1];
        }
        out[2 * k] = saturate16(left >> kTapShift);
        out[2 * k + 1] = saturate16(right >> kTapShift);
        ph += pitch;
        j += ph >> 12;
        ph &= 4095;
    }
    phase = ph;
    return j;
}

#if defined(__x86_64__) || defined(__i386__)
// One output frame per step: the 16 source frames are regrouped within each 128-bit lane
// as L0 L1 R0 R1 L2 L3 R2 R3, so that pmaddwd against the taps in pairs (c0 c1 c0 c1 c2 c3
// c2 c3) gives left and right partial sums side by side.
__attribute__((target("avx2"))) int32_t varispeedAvx2(const int16_t* src, int16_t* out,
                                                      int32_t frames, int32_t pitch,
                                                      int32_t& phase) {
    const __m256i regroup =
        _mm256_setr_epi8(0, 1, 4, 5, 2, 3, 6, 7, 8, 9, 12, 13, 10, 11, 14, 15,  //
                         0, 1, 4, 5, 2, 3, 6, 7, 8, 9, 12, 13, 10, 11, 14, 15);
    const __m256i firstPairs = _mm256_setr_epi32(0, 0, 1, 1, 2, 2, 3, 3);
    const __m256i lastPairs = _mm256_setr_epi32(4, 4, 5, 5, 6, 6, 7, 7);
    const __m128i half = _mm_set1_epi32(1 << (kTapShift - 1));
    int32_t j = 0;
    int32_t ph = phase;
    for (int32_t k = 0; k < frames; ++k) {
        const int16_t* s = src + 2 * (j - kVarispeedHistory);
        const __m256i taps = _mm256_load_si256(reinterpret_cast<const __m256i*>(
            &g_varispeedTaps.taps[static_cast<size_t>(ph * kTaps)]));
        const __m256i a =
            _mm256_shuffle_epi8(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(s)), regroup);
        const __m256i b = _mm256_shuffle_epi8(
            _mm256_loadu_si256(reinterpret_cast<const __m256i*>(s + 16)), regroup);
        const __m256i sums =
            _mm256_add_epi32(_mm256_madd_epi16(a, _mm256_permutevar8x32_epi32(taps, firstPairs)),
                             _mm256_madd_epi16(b, _mm256_permutevar8x32_epi32(taps, lastPairs)));
        __m128i lr = _mm_add_epi32(_mm256_castsi256_si128(sums), _mm256_extracti128_si256(sums, 1));
        lr = _mm_add_epi32(lr, _mm_shuffle_epi32(lr, 0x4E));
        lr = _mm_srai_epi32(_mm_add_epi32(lr, half), kTapShift);
        const int32_t pair = _mm_cvtsi128_si32(_mm_packs_epi32(lr, lr));
        std::memcpy(out + 2 * k, &pair, 4);
        ph += pitch;
        j += ph >> 12;
        ph &= 4095;
    }
    phase = ph;
    return j;
}
#endif

using VarispeedLoop = int32_t (*)(const int16_t*, int16_t*, int32_t, int32_t, int32_t&);

VarispeedLoop chooseVarispeed() {
#if defined(__x86_64__) || defined(__i386__)
    if (__builtin_cpu_supports("avx2")) return &varispeedAvx2;
#endif
    return &varispeedScalar;
}

const VarispeedLoop g_varispeed = chooseVarispeed();

using OverlapScore = int32_t (*)(const OverlapWindow&, const int16_t*);

OverlapScore chooseOverlapScore() {
#if defined(__x86_64__) || defined(__i386__)
    if (__builtin_cpu_supports("avx2")) return &overlapScoreAvx2;
#endif
    return &overlapScoreScalar;
}

// Chosen before main() runs, so the sound thread never initialises anything.
const OverlapScore g_overlapScore = chooseOverlapScore();

}  // namespace

int32_t renderVarispeed(const int16_t* src, int16_t* out, int32_t frames, int32_t pitch,
                        int32_t& phase) {
    if (pitch == kPhases && phase == 0) {
        // Every frame stands on a source frame: the source itself.
        std::memcpy(out, src, static_cast<size_t>(frames) * 4);
        return frames;
    }
    return g_varispeed(src, out, frames, pitch, phase);
}

int32_t renderVarispeedPortable(const int16_t* src, int16_t* out, int32_t frames, int32_t pitch,
                                int32_t& phase) {
    return varispeedScalar(src, out, frames, pitch, phase);
}

namespace {

int32_t searchOverlap(const int16_t* tail, const int16_t* src, OverlapScore overlapScore) {
    // Parabolic window over the tail: weight 0 at both ends, 2 at the centre.
    OverlapWindow window;
    for (int32_t k = 0; k < kCrossfadeFrames; ++k) {
        const int32_t weight = k * (kCrossfadeFrames - k);
        for (int32_t c = 0; c < 2; ++c) {
            const auto i = static_cast<size_t>(2 * k + c);
            const int32_t w = (tail[i] * weight) >> 15;
            window.hi[i] = static_cast<int16_t>(w >> 8);
            window.loEven[i] = static_cast<int16_t>(c == 0 ? (w & 0xFF) : 0);
            window.loOdd[i] = static_cast<int16_t>(c == 1 ? (w & 0xFF) : 0);
        }
    }
    int32_t best = 248;
    int32_t bestScore = -32768;
    int32_t base = 0;
    for (const auto& stage : kOverlapStages) {
        for (int32_t candidate : stage) {
            const int32_t pos = base + candidate;
            const int32_t score = overlapScore(window, src + pos);
            if (score > bestScore) {
                best = pos;
                bestScore = score;
            }
        }
        base = best;
    }
    return best;
}

}  // namespace

int32_t findBestOverlap(const int16_t* tail, const int16_t* src) {
    return searchOverlap(tail, src, g_overlapScore);
}

int32_t findBestOverlapPortable(const int16_t* tail, const int16_t* src) {
    return searchOverlap(tail, src, &overlapScoreScalar);
}

MasterTempoChunk renderMasterTempo(int16_t* tail, const int16_t* src, int16_t* out, int32_t pitch,
                                   int32_t& phase) {
    const int32_t offset = pitch == kNormalPitch ? 0 : findBestOverlap(tail, src) / 2;
    const int16_t* from = src + 2 * offset;
    for (int32_t k = 0; k < kCrossfadeFrames; ++k) {
        for (int32_t c = 0; c < 2; ++c) {
            const int32_t mixed = tail[2 * k + c] * (kCrossfadeFrames - k) + from[2 * k + c] * k;
            out[2 * k + c] = static_cast<int16_t>(mixed >> 9);
        }
    }
    const int32_t frames = kRenderFrames - offset;
    std::memcpy(out + 2 * kCrossfadeFrames, from + 2 * kCrossfadeFrames,
                static_cast<size_t>(frames - kCrossfadeFrames) * 4);
    std::memcpy(tail, src + 2 * kRenderFrames, static_cast<size_t>(kCrossfadeFrames) * 4);

    const int64_t acc = static_cast<int64_t>(phase) + static_cast<int64_t>(frames) * pitch;
    phase = static_cast<int32_t>(acc % 4096);
    return {frames, static_cast<int32_t>(acc / 4096)};
}

}  // namespace spinlorex
