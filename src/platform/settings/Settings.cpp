#include "platform/settings/Settings.h"

#include <utility>

namespace spinlorex {

void Settings::resetToDefaults() {
    const Settings defaults;
    for (auto [field, value] : {
             std::pair{&limitPitch, &defaults.limitPitch},
             std::pair{&masterTempo, &defaults.masterTempo},
             std::pair{&longMix, &defaults.longMix},
             std::pair{&autoZPitch, &defaults.autoZPitch},
             std::pair{&autoLevel, &defaults.autoLevel},
             std::pair{&autoBpm, &defaults.autoBpm},
             std::pair{&multiInstance, &defaults.multiInstance},
             std::pair{&crossfader, &defaults.crossfader},
             std::pair{&maximized, &defaults.maximized},
             std::pair{&outputMode, &defaults.outputMode},
             std::pair{&toolTip, &defaults.toolTip},
             std::pair{&babySecure, &defaults.babySecure},
             std::pair{&waveforms, &defaults.waveforms},
             std::pair{&waveformZoom, &defaults.waveformZoom},
             std::pair{&fileNameTitles, &defaults.fileNameTitles},
             std::pair{&keyNotation, &defaults.keyNotation},
             std::pair{&masterTempoQuality, &defaults.masterTempoQuality},
             std::pair{&compatibleFirst, &defaults.compatibleFirst},
             std::pair{&autoMix, &defaults.autoMix},
         }) {
        set(*field, get(*value));
    }
    homeFolder.clear();
    cdDrive.clear();
    skin.clear();
    addedColumns.clear();
    initialFolder.reset();
    columnSizes = kDefaultColumnSizes;
    soundCardGuid.reset();
    soundCard1Guid.reset();
    soundCard2Guid.reset();
}

Settings& settings() {
    static Settings instance;
    return instance;
}

}  // namespace spinlorex
