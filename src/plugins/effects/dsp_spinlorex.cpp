// dsp_spinlorex.so: Spinlorex's own effects as one DSP plug-in with four modules. Each
// module's state lives behind its record's userData, made in init and freed in quit.

#include "plugins/effects/Effect.h"
#include "plugins/effects/EffectSettings.h"
#include "plugins/effects/SettingsWindow.h"
#include "spinlorex/dsp_plugin.h"

namespace spinlorex::effects {
namespace {

Effect* effectOf(SpinlorexDspModule* module) { return static_cast<Effect*>(module->userData); }

void quitModule(SpinlorexDspModule* module) {
    delete effectOf(module);
    module->userData = nullptr;
}

int initModule(SpinlorexDspModule* module);
void configModule(SpinlorexDspModule* module);
int processModule(SpinlorexDspModule* module, short* samples, int frames, int bitsPerSample,
                  int channels, int sampleRate);

// In EffectKind order.
SpinlorexDspModule gModules[kEffectCount] = {
    {"Kill EQ (250 Hz / 4 kHz)", nullptr, nullptr, configModule, initModule, processModule,
     quitModule, nullptr},
    {"Filter Sweep (low-pass / high-pass)", nullptr, nullptr, configModule, initModule,
     processModule, quitModule, nullptr},
    {"Echo", nullptr, nullptr, configModule, initModule, processModule, quitModule, nullptr},
    {"Gain / Limiter", nullptr, nullptr, configModule, initModule, processModule, quitModule,
     nullptr},
};

int initModule(SpinlorexDspModule* module) {
    quitModule(module);  // a second init starts afresh
    const auto kind = static_cast<EffectKind>(module - gModules);
    std::unique_ptr<Effect> effect = makeEffect(kind);
    if (!effect) return 1;
    loadEffectSettings(*effect, effectSettingsPath());
    module->userData = effect.release();
    return 0;
}

void configModule(SpinlorexDspModule* module) {
    Effect* effect = effectOf(module);
    if (effect == nullptr) return;
    if (showSettingsWindow(*effect, module->parentWindow))
        saveEffectSettings(*effect, effectSettingsPath());
}

int processModule(SpinlorexDspModule* module, short* samples, int frames, int bitsPerSample,
                  int channels, int) {
    Effect* effect = effectOf(module);
    if (effect != nullptr && bitsPerSample == 16 && (channels == 1 || channels == 2) && frames > 0)
        effect->process(samples, frames, channels);
    return frames;
}

SpinlorexDspModule* getModule(int index) {
    return index >= 0 && index < kEffectCount ? &gModules[index] : nullptr;
}

SpinlorexDspHeader gHeader = {SPINLOREX_DSP_VERSION, "Spinlorex effects", getModule};

}  // namespace
}  // namespace spinlorex::effects

extern "C" SPINLOREX_DSP_EXPORT SpinlorexDspHeader* SPINLOREX_DSP_HEADER_SYMBOL(void) {
    return &spinlorex::effects::gHeader;
}
