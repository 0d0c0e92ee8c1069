#include "audio/DeckOptions.h"

#include "platform/settings/Settings.h"

namespace spinlorex {

DeckOptions DeckOptions::fromSettings(const Settings& settings) {
    return {get(settings.masterTempo) != 0, get(settings.autoMix) != 0, get(settings.longMix)};
}

}  // namespace spinlorex
