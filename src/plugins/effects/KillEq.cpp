#include <cstdio>

#include "plugins/effects/Effect.h"

namespace spinlorex::effects {
namespace {

constexpr ParamSpec kParams[] = {
    {"low", "Low (below 250 Hz)", 0, 100, 100},
    {"mid", "Mid", 0, 100, 100},
    {"high", "High (above 4 kHz)", 0, 100, 100},
};
// 256 frames (6 ms) from full level to nothing: fast enough for a kill, slow enough not to click.
constexpr int32_t kGlideStep = kUnityQ12 / 256;
const int64_t kButterworthK = toQ30(1.4142135623730951);

}  // namespace

KillEq::KillEq() {
    initParams();
    low_ = svfCoefficients(svfG(250.0), kButterworthK);
    high_ = svfCoefficients(svfG(4000.0), kButterworthK);
    for (Ramp& g : gain_) g.value = g.target = kUnityQ12;
}

std::span<const ParamSpec> KillEq::params() const { return kParams; }

std::string KillEq::valueText(int, int32_t value) const {
    if (value == 0) return "kill";
    char text[16];
    std::snprintf(text, sizeof text, "%d %%", value);
    return text;
}

void KillEq::process(int16_t* samples, int32_t frames, int32_t channels) {
    bool anyCut = false;
    for (int b = 0; b < 3; ++b) {
        gain_[b].target = param(b) * kUnityQ12 / 100;
        anyCut = anyCut || gain_[b].target < kUnityQ12;
    }
    engage_.target = anyCut ? kUnityQ12 : 0;

    for (int32_t f = 0; f < frames; ++f) {
        for (Ramp& g : gain_) g.advance(kGlideStep);
        engage_.advance(kGlideStep);
        const int64_t w = engage_.value;
        for (int32_t c = 0; c < channels; ++c) {
            int16_t& sample = samples[f * channels + c];
            auto& s = state_[static_cast<size_t>(c)];
            const int64_t x = toSignal(sample);
            // Fourth-order (two cascaded second-order Butterworth) splits: the bands add
            // up to an all-pass of the input, flat in level.
            const SvfOutput split = s[0].tick(low_, x);
            const int64_t low = s[1].tick(low_, split.low).low;
            const int64_t upper = s[2].tick(low_, split.high).high;
            const SvfOutput split2 = s[3].tick(high_, upper);
            const int64_t mid = s[4].tick(high_, split2.low).low;
            const int64_t high = s[5].tick(high_, split2.high).high;
            const int64_t lowBand = low - ((2 * high_.k * s[6].tick(high_, low).band) >> 30);
            // Filters run even while bypassed, so a kill starts from settled state.
            if (w == 0) continue;
            const int64_t sum =
                (gain_[0].value * lowBand + gain_[1].value * mid + gain_[2].value * high) >> 12;
            sample = fromSignal((x * (kUnityQ12 - w) + sum * w) >> 12);
        }
    }
}

}  // namespace spinlorex::effects
