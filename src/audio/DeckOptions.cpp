#include "audio/DeckOptions.h"

#include "platform/settings/Settings.h"

namespace spinlorex {

DeckOptions DeckOptions::fromSettings(const Settings& settings) {
    // A mix length the options panel does not offer (a hand-edited settings file) counts as
    // the short mix, as the panel shows it.
    const int32_t longMix = get(settings.longMix);
    const bool offered =
        longMix == 0 || longMix == 16 || longMix == 40 || longMix == 64 || longMix == 112;
    return {get(settings.masterTempo) != 0, get(settings.masterTempoQuality) == 1,
            get(settings.autoMix) != 0, offered ? longMix : 0};
}

}  // namespace spinlorex
