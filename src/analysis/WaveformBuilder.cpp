#include "analysis/WaveformBuilder.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <numbers>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace spinlorex {
namespace {

constexpr double kRate = 44100.0;
constexpr double kQ = 0.7071;
constexpr double kLowEdge = 200.0;  // Hz: bass below, the middle above
// The mix (left plus right) to full scale 1, per frame and per sum of frames.
constexpr float kScale = 1.0f / 65536.0f;
// The highs look at the mix in 14 bits, so that their second difference fits in 16.
constexpr int32_t kHighShift = 3;
// The second difference rises with the frequency: 0.18 of the wave at 3 kHz, 1.2 at 8 kHz,
// a hundredth at 200 Hz. The highs of music are far quieter than its bass: lifted so that
// they show.
constexpr float kHighGain = 1.5f;

using Biquad = WaveformBuilder::Biquad;

// Second-order Butterworth low-pass or high-pass at `rate` (the audio EQ cookbook's forms).
Biquad butterworth(double hz, double rate, bool highPass) {
    const double w = 2.0 * std::numbers::pi * hz / rate;
    const double alpha = std::sin(w) / (2.0 * kQ);
    const double c = std::cos(w);
    const double a0 = 1.0 + alpha;
    const double side = highPass ? (1.0 + c) / 2.0 : (1.0 - c) / 2.0;
    const double middle = highPass ? -(1.0 + c) : 1.0 - c;
    Biquad b;
    b.b0 = b.b2 = static_cast<float>(side / a0);
    b.b1 = static_cast<float>(middle / a0);
    b.a1 = static_cast<float>(-2.0 * c / a0);
    b.a2 = static_cast<float>((1.0 - alpha) / a0);
    return b;
}

uint8_t level(float peak) {
    return static_cast<uint8_t>(std::clamp(std::lround(peak * 255.0f), 0L, 255L));
}

}  // namespace

WaveformBuilder::WaveformBuilder(int64_t expectedFrames, LiveWaveform* live) : live_(live) {
    summary_.columnFrames = WaveformSummary::columnFramesFor(expectedFrames);
    summary_.columns.reserve(static_cast<size_t>(expectedFrames / summary_.columnFrames + 2));
    mid_ = butterworth(kLowEdge, kRate / kGroup, true);
    // The bass's sums of 32 frames let through a little of what lies above their rate:
    // two sections keep it out of the bass.
    bassA_ = bassB_ = butterworth(kLowEdge, kRate / (kGroup * kBassGroups), false);
    if (live_ != nullptr) live_->begin(summary_.columnFrames);
}

void WaveformBuilder::feed(const int16_t* stereo, int32_t frames) {
    while (frames > 0) {
        const int32_t n = std::min({frames, kMaxSegment, summary_.columnFrames - inColumn_});
        segment(stereo, n);
        stereo += 2 * n;
        frames -= n;
        inColumn_ += n;
        if (inColumn_ == summary_.columnFrames) closeColumn();
    }
}

void WaveformBuilder::segment(const int16_t* stereo, int32_t n) {
    std::array<float, kMaxSegment / kGroup + 1> sums;  // of the groups that end here
    int32_t count = 0;
    const auto frame = [&](int32_t i) {
        const int32_t m = int32_t{stereo[2 * i]} + stereo[2 * i + 1];
        const int32_t h = m >> kHighShift;
        const int32_t d = h - 2 * high1_ + high2_;
        peakHigh_ = std::max(peakHigh_, d < 0 ? -d : d);
        high2_ = high1_;
        high1_ = h;
        groupSum_ += m;
        if (++groupFill_ < kGroup) return;
        sums[static_cast<size_t>(count++)] = static_cast<float>(groupSum_);
        groupSum_ = groupFill_ = 0;
    };
    int32_t i = 0;
    while (groupFill_ != 0 && i < n) frame(i++);
#if defined(__SSE2__)
    // Whole groups, eight frames a step: each pair of samples multiplied by one and summed
    // gives the mix, the highs' second difference runs on it in 16 bits.
    const __m128i ones = _mm_set1_epi16(1);
    __m128i before =
        _mm_set_epi16(static_cast<int16_t>(high1_), static_cast<int16_t>(high2_), 0, 0, 0, 0, 0, 0);
    __m128i most = _mm_setzero_si128(), least = _mm_setzero_si128();
    for (; i + kGroup <= n; i += kGroup) {
        __m128i sum = _mm_setzero_si128();
        for (int32_t j = i; j < i + kGroup; j += 8) {
            const auto* at = reinterpret_cast<const __m128i*>(stereo + 2 * j);
            const __m128i first = _mm_madd_epi16(_mm_loadu_si128(at), ones);
            const __m128i second = _mm_madd_epi16(_mm_loadu_si128(at + 1), ones);
            sum = _mm_add_epi32(sum, _mm_add_epi32(first, second));
            const __m128i now = _mm_packs_epi32(_mm_srai_epi32(first, kHighShift),
                                                _mm_srai_epi32(second, kHighShift));
            const __m128i one = _mm_or_si128(_mm_slli_si128(now, 2), _mm_srli_si128(before, 14));
            const __m128i two = _mm_or_si128(_mm_slli_si128(now, 4), _mm_srli_si128(before, 12));
            const __m128i d = _mm_sub_epi16(_mm_add_epi16(now, two), _mm_add_epi16(one, one));
            most = _mm_max_epi16(most, d);
            least = _mm_min_epi16(least, d);
            before = now;
        }
        sum = _mm_add_epi32(sum, _mm_shuffle_epi32(sum, 0x4E));
        sum = _mm_add_epi32(sum, _mm_shuffle_epi32(sum, 0xB1));
        sums[static_cast<size_t>(count++)] = static_cast<float>(_mm_cvtsi128_si32(sum));
    }
    std::array<int16_t, 8> highest, lowest;
    _mm_storeu_si128(reinterpret_cast<__m128i*>(highest.data()), most);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(lowest.data()), least);
    for (size_t k = 0; k < 8; ++k)
        peakHigh_ = std::max({peakHigh_, int32_t{highest[k]}, -int32_t{lowest[k]}});
    high1_ = static_cast<int16_t>(_mm_extract_epi16(before, 7));
    high2_ = static_cast<int16_t>(_mm_extract_epi16(before, 6));
#endif
    while (i < n) frame(i++);
    filter(sums.data(), count);
}

void WaveformBuilder::filter(const float* sums, int32_t count) {
    constexpr float kGroupScale = kScale / kGroup;
    Biquad mid = mid_;
    float peak = peakMid_;
    for (int32_t k = 0; k < count; ++k)
        peak = std::max(peak, std::fabs(mid.run(sums[k] * kGroupScale)));
    mid_ = mid;
    peakMid_ = peak;

    std::array<float, kMaxSegment / (kGroup * kBassGroups) + 1> bass;
    int32_t bassCount = 0;
    float sum = bassSum_;
    int32_t fill = bassFill_;
    for (int32_t k = 0; k < count; ++k) {
        sum += sums[k];
        if (++fill < kBassGroups) continue;
        bass[static_cast<size_t>(bassCount++)] = sum;
        sum = 0.0f;
        fill = 0;
    }
    bassSum_ = sum;
    bassFill_ = fill;
    Biquad a = bassA_, b = bassB_;
    peak = peakLow_;
    for (int32_t k = 0; k < bassCount; ++k)
        peak = std::max(
            peak,
            std::fabs(b.run(a.run(bass[static_cast<size_t>(k)] * (kGroupScale / kBassGroups)))));
    bassA_ = a;
    bassB_ = b;
    peakLow_ = peak;
}

void WaveformBuilder::closeColumn() {
    const WaveColumn c{
        level(peakLow_), level(peakMid_),
        level(static_cast<float>(peakHigh_) * (kScale * (1 << kHighShift) * kHighGain))};
    summary_.columns.push_back(c);
    summary_.peak = std::max(summary_.peak, c.loudest());
    if (live_ != nullptr) live_->append(c);
    peakLow_ = peakMid_ = 0.0f;
    peakHigh_ = 0;
    inColumn_ = 0;
}

WaveformSummary WaveformBuilder::finish() {
    if (inColumn_ > 0) closeColumn();
    return std::move(summary_);
}

}  // namespace spinlorex
