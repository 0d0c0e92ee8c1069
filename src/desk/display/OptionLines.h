#pragma once

// The options panel's fifteen lines: label and value text of each option control, read
// from the settings. Qt-free; the Qt view draws them.
//
// Main thread only (it may write a setting back).

#include <array>
#include <cstdint>
#include <string_view>

#include "desk/display/DeskGeometry.h"
#include "platform/settings/Settings.h"
#include "skin/SkinControl.h"
#include "skin/SkinModel.h"

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

// The options the desk has beyond the fifteen: lines below them, the first ones under the
// left column's last line, the others under the right column's. They are no skin controls:
// each reacts to a click anywhere on its line.
enum ExtraOption : int32_t {
    kMasterTempoQuality = 0,  // left column
    kKeyNotation = 1,         // left column
    kFileNameTitles = 2,      // left column
    kCompatibleFirst = 3,     // right column
    kControllers = 4,         // right column
    kExtraOptionCount = 5,
};
inline constexpr int32_t kExtraLeftLines = 3;  // the first ones go to the left column

// The line of extra option k in `skin` (empty when the options panel has no room for it:
// the line would reach below the files window).
Rect extraOptionBox(const SkinModel& skin, int32_t k);
// The extra option whose line holds (x, y); -1 when none.
int32_t extraOptionAt(const SkinModel& skin, int32_t x, int32_t y);
OptionText extraOptionText(int32_t k, const Settings& s);

}  // namespace spinlorex::display
