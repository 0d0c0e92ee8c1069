#include "audio/PitchRender.h"

#include <array>
#include <cstring>

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

// Sum over i = 2..1023 of (w[i] * s[i]) >> 8, each term shifted before it is added and the
// sum wrapping at 32 bits. |w| reaches 65536, so a product can just exceed 32 bits; the
// window is split as w = hi * 256 + lo (lo 0..255), which gives the same floor exactly:
// (w * s) >> 8 = hi * s + ((lo * s) >> 8).
int32_t overlapScore(const int32_t* windowHi, const int32_t* windowLo, const int16_t* s) {
    uint32_t sum = 0;
    for (int32_t i = 2; i < kTailSamples; ++i) {
        const int32_t v = s[i];
        sum += static_cast<uint32_t>(windowHi[i] * v + ((windowLo[i] * v) >> 8));
    }
    return static_cast<int32_t>(sum);
}

}  // namespace

int32_t renderVarispeed(const int16_t* src, int16_t* out, int32_t frames, int32_t pitch,
                        int32_t& phase) {
    int32_t j = 0;
    int32_t ph = phase;
    for (int32_t k = 0; k < frames; ++k) {
        out[2 * k] = src[2 * j];
        out[2 * k + 1] = src[2 * j + 1];
        ph += pitch;
        if (ph >= 4096) {
            j += ph >> 12;
            ph &= 4095;
        }
    }
    phase = ph;
    return j;
}

int32_t findBestOverlap(const int16_t* tail, const int16_t* src) {
    // Parabolic window over the tail: weight 0 at both ends, 2 at the centre.
    std::array<int32_t, kTailSamples> hi;
    std::array<int32_t, kTailSamples> lo;
    for (int32_t k = 0; k < kCrossfadeFrames; ++k) {
        const int32_t weight = k * (kCrossfadeFrames - k);
        for (int32_t c = 0; c < 2; ++c) {
            const int32_t w = (tail[2 * k + c] * weight) >> 15;
            hi[2 * k + c] = w >> 8;
            lo[2 * k + c] = w & 0xFF;
        }
    }
    int32_t best = 248;
    int32_t bestScore = -32768;
    int32_t base = 0;
    for (const auto& stage : kOverlapStages) {
        for (int32_t candidate : stage) {
            const int32_t pos = base + candidate;
            const int32_t score = overlapScore(hi.data(), lo.data(), src + pos);
            if (score > bestScore) {
                best = pos;
                bestScore = score;
            }
        }
        base = best;
    }
    return best;
}

MasterTempoChunk renderMasterTempo(int16_t* tail, const int16_t* src, int16_t* out,
                                   int32_t pitch, int32_t& phase) {
    const int32_t offset = pitch == 4096 ? 0 : findBestOverlap(tail, src) / 2;
    const int16_t* from = src + 2 * offset;
    for (int32_t k = 0; k < kCrossfadeFrames; ++k) {
        for (int32_t c = 0; c < 2; ++c) {
            const int32_t mixed =
                tail[2 * k + c] * (kCrossfadeFrames - k) + from[2 * k + c] * k;
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
