#pragma once

// The options panel's fifteen lines: label and value text of each option control, read
// from the settings. Qt-free; the Qt view draws them.
//
// Main thread only (it may write a setting back).

#include <array>
#include <cstdint>
#include <string_view>

#include "platform/settings/Settings.h"
#include "skin/SkinControl.h"

namespace spinlorex::display {

// The lines in drawing order.
inline constexpr std::array<int32_t, 15> kOptionLines = {
    ctl::OptAutoPitch,   ctl::OptAutoReset,     ctl::OptAutoLevel,  ctl::OptMasterTempo,
    ctl::OptPitchRange,  ctl::OptMixLength,     ctl::OptCrossfader, ctl::OptSecurity,
    ctl::OptToolTip,     ctl::OptMultiInstance, ctl::OptSkin,       ctl::OptPlugins,
    ctl::OptSoundConfig, ctl::OptShortcuts,     ctl::OptAbout,
};

struct OptionText {
    std::string_view label;  // drawn right-aligned against the line's middle
    std::string_view value;  // drawn left-aligned from it
};

// The texts of one option line (empty for an id that is no option). A "LongMix" or
// "Crossfader" value that has no text is shown as the first one and the setting is put
// back to 0, so what the panel shows is what the desk does.
OptionText optionText(int32_t id, Settings& s);

}  // namespace spinlorex::display
