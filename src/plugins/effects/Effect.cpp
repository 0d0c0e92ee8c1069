#include "plugins/effects/Effect.h"

#include <cmath>
#include <new>
#include <numbers>

namespace spinlorex::effects {

int64_t toQ30(double value) { return std::llround(value * static_cast<double>(kOneQ30)); }

int64_t svfG(double cutoffHz) { return toQ30(std::tan(std::numbers::pi * cutoffHz / 44100.0)); }

std::string Effect::valueText(int, int32_t value) const { return std::to_string(value); }

void Effect::setParam(int index, int32_t value) {
    const std::span<const ParamSpec> specs = params();
    if (index < 0 || static_cast<size_t>(index) >= specs.size()) return;
    const ParamSpec& spec = specs[static_cast<size_t>(index)];
    values_[static_cast<size_t>(index)].store(std::clamp(value, spec.min, spec.max),
                                              std::memory_order_relaxed);
}

void Effect::resetToNeutral() {
    const std::span<const ParamSpec> specs = params();
    for (size_t i = 0; i < specs.size(); ++i)
        values_[i].store(specs[i].neutral, std::memory_order_relaxed);
}

void Effect::initParams() { resetToNeutral(); }

std::unique_ptr<Effect> makeEffect(EffectKind kind) {
    Effect* effect = nullptr;
    switch (kind) {
        case EffectKind::KillEq:
            effect = new (std::nothrow) KillEq;
            break;
        case EffectKind::FilterSweep:
            effect = new (std::nothrow) FilterSweep;
            break;
        case EffectKind::Echo:
            effect = new (std::nothrow) Echo;
            break;
        case EffectKind::GainLimiter:
            effect = new (std::nothrow) GainLimiter;
            break;
    }
    return std::unique_ptr<Effect>(effect);
}

}  // namespace spinlorex::effects
