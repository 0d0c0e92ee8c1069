#include <cmath>
#include <cstdio>

#include "plugins/effects/Effect.h"

namespace spinlorex::effects {
namespace {

constexpr ParamSpec kParams[] = {
    {"sweep", "Low-pass / open / high-pass", -FilterSweep::kSweepRange, FilterSweep::kSweepRange,
     0},
    {"resonance", "Resonance", 0, 100, 0},
};
constexpr double kLowestHz = 20.0, kHighestHz = 18000.0;
constexpr double kFlatQ = 0.7071067811865476, kPeakQ = 8.0;
// The cut-off glides by this many sweep steps per block of kBlockFrames: the whole way
// from closed low-pass to closed high-pass takes about a third of a second.
constexpr int32_t kBlockFrames = 32;
constexpr int32_t kGlidePerBlock = 4;
constexpr int32_t kEngageStep = kUnityQ12 / 256;

// Cut-off step 0..kSweepRange spread evenly in pitch over 20 Hz .. 18 kHz.
double stepHz(int32_t step) {
    return kLowestHz *
           std::pow(kHighestHz / kLowestHz, static_cast<double>(step) / FilterSweep::kSweepRange);
}

}  // namespace

FilterSweep::FilterSweep() {
    initParams();
    for (int32_t step = 0; step <= kSweepRange; ++step)
        g_[static_cast<size_t>(step)] = svfG(stepHz(step));
    for (size_t r = 0; r < k_.size(); ++r)
        k_[r] = toQ30(1.0 / (kFlatQ * std::pow(kPeakQ / kFlatQ, static_cast<double>(r) / 100.0)));
}

std::span<const ParamSpec> FilterSweep::params() const { return kParams; }

double FilterSweep::cutoffHz(int32_t sweep) {
    sweep = std::clamp(sweep, -kSweepRange, kSweepRange);
    return sweep > 0 ? stepHz(sweep) : stepHz(kSweepRange + sweep);
}

std::string FilterSweep::valueText(int index, int32_t value) const {
    char text[32];
    if (index == kResonance)
        std::snprintf(text, sizeof text, "%d %%", value);
    else if (value == 0)
        std::snprintf(text, sizeof text, "open");
    else
        std::snprintf(text, sizeof text, "%s %.0f Hz", value < 0 ? "low-pass" : "high-pass",
                      cutoffHz(value));
    return text;
}

void FilterSweep::updateCoefficients(int32_t resonance) {
    const int32_t sweep = sweep_.value;
    // A low-pass at step kSweepRange + sweep, a high-pass at step sweep; the centre is the
    // low-pass fully open.
    const int32_t step = sweep > 0 ? sweep : kSweepRange + sweep;
    coefficients_ =
        svfCoefficients(g_[static_cast<size_t>(step)], k_[static_cast<size_t>(resonance)]);
    coefficientSweep_ = sweep;
    coefficientResonance_ = resonance;
}

void FilterSweep::process(int16_t* samples, int32_t frames, int32_t channels) {
    sweep_.target = param(kSweep);
    const int32_t resonance = param(kResonance);

    for (int32_t f = 0; f < frames; ++f) {
        if (f % kBlockFrames == 0) {
            sweep_.advance(kGlidePerBlock);
            if (sweep_.value != coefficientSweep_ || resonance != coefficientResonance_)
                updateCoefficients(resonance);
        }
        // Back at the centre the filter glides open first, then fades out.
        engage_.target = sweep_.value != 0 || sweep_.target != 0 ? kUnityQ12 : 0;
        engage_.advance(kEngageStep);
        const int64_t w = engage_.value;
        const bool highPass = sweep_.value > 0;
        for (int32_t c = 0; c < channels; ++c) {
            int16_t& sample = samples[f * channels + c];
            const int64_t x = toSignal(sample);
            const SvfOutput out = state_[static_cast<size_t>(c)].tick(coefficients_, x);
            // The filter runs while bypassed too, so a sweep starts from settled state.
            if (w == 0) continue;
            const int64_t filtered = highPass ? out.high : out.low;
            sample = fromSignal((x * (kUnityQ12 - w) + filtered * w) >> 12);
        }
    }
}

}  // namespace spinlorex::effects
