#pragma once

#include <filesystem>

#include "plugins/effects/Effect.h"

// The shipped effects remember their settings between runs in a small text file beside
// the desk's settings: one "effect.setting=value" per line. Main thread.

namespace spinlorex::effects {

// $SPINLOREX_CONFIG_DIR/dsp_spinlorex.conf, else $XDG_CONFIG_HOME/spinlorex/..., else
// ~/.config/spinlorex/...; empty when none of them is known.
std::filesystem::path effectSettingsPath();

// Sets the effect's settings found in the file (clamped to their ranges); others keep
// their values. A missing or unreadable file changes nothing.
void loadEffectSettings(Effect& effect, const std::filesystem::path& file);

// Writes the effect's settings into the file, keeping every other line, through a
// temporary file renamed into place; creates the folder. False when that fails.
bool saveEffectSettings(const Effect& effect, const std::filesystem::path& file);

}  // namespace spinlorex::effects
