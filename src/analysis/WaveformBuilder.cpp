#include "analysis/WaveformBuilder.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace spinlorex {
namespace {

constexpr double kRate = 44100.0;
constexpr double kQ = 0.7071;
constexpr float kLowEdge = 200.0f;    // Hz: bass below
constexpr float kHighEdge = 3000.0f;  // Hz: highs above
// The highs of music are far quieter than its bass: lifted so that they show.
constexpr float kHighGain = 2.0f;

struct Coefficients {
    float b0, b1, b2, a1, a2;
};

// Second-order Butterworth low-pass or high-pass (the audio EQ cookbook's forms).
Coefficients butterworth(double hz, bool highPass) {
    const double w = 2.0 * std::numbers::pi * hz / kRate;
    const double alpha = std::sin(w) / (2.0 * kQ);
    const double c = std::cos(w);
    const double a0 = 1.0 + alpha;
    const double side = highPass ? (1.0 + c) / 2.0 : (1.0 - c) / 2.0;
    const double middle = highPass ? -(1.0 + c) : 1.0 - c;
    return {static_cast<float>(side / a0), static_cast<float>(middle / a0),
            static_cast<float>(side / a0), static_cast<float>(-2.0 * c / a0),
            static_cast<float>((1.0 - alpha) / a0)};
}

template <class Section>
void set(Section& s, Coefficients k) {
    s.b0 = k.b0;
    s.b1 = k.b1;
    s.b2 = k.b2;
    s.a1 = k.a1;
    s.a2 = k.a2;
}

uint8_t level(float peak) {
    return static_cast<uint8_t>(std::clamp(std::lround(peak * 255.0f), 0L, 255L));
}

}  // namespace

WaveformBuilder::WaveformBuilder(int64_t expectedFrames, LiveWaveform* live) : live_(live) {
    summary_.columnFrames = WaveformSummary::columnFramesFor(expectedFrames);
    summary_.columns.reserve(static_cast<size_t>(expectedFrames / summary_.columnFrames + 2));
    set(low_, butterworth(kLowEdge, false));
    set(midHigh_, butterworth(kLowEdge, true));
    set(midLow_, butterworth(kHighEdge, false));
    set(high_, butterworth(kHighEdge, true));
    if (live_ != nullptr) live_->begin(summary_.columnFrames);
}

void WaveformBuilder::feed(const int16_t* stereo, int32_t frames) {
    constexpr float kScale = 0.5f / 32768.0f;
    for (int32_t i = 0; i < frames; ++i) {
        const float x = (float(stereo[2 * i]) + float(stereo[2 * i + 1])) * kScale;
        peakLow_ = std::max(peakLow_, std::fabs(low_.run(x)));
        peakMid_ = std::max(peakMid_, std::fabs(midLow_.run(midHigh_.run(x))));
        peakHigh_ = std::max(peakHigh_, std::fabs(high_.run(x)));
        if (++inColumn_ == summary_.columnFrames) closeColumn();
    }
}

void WaveformBuilder::closeColumn() {
    const WaveColumn c{level(peakLow_), level(peakMid_), level(peakHigh_ * kHighGain)};
    summary_.columns.push_back(c);
    summary_.peak = std::max(summary_.peak, c.loudest());
    if (live_ != nullptr) live_->append(c);
    peakLow_ = peakMid_ = peakHigh_ = 0.0f;
    inColumn_ = 0;
}

WaveformSummary WaveformBuilder::finish() {
    if (inColumn_ > 0) closeColumn();
    return std::move(summary_);
}

}  // namespace spinlorex
