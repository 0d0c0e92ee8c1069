#pragma once

#include "plugins/effects/Effect.h"

namespace spinlorex::effects {

// Shows the effect's settings as sliders in a small modal window over `parentWindow` (a
// QWidget*, or null) and returns when the user closes it; the effect hears each move at
// once. Does nothing unless the process runs a QApplication and this is its thread, so
// a host without one (the command-line tool) can still run the effect. Returns whether a
// window was shown.
bool showSettingsWindow(Effect& effect, void* parentWindow);

}  // namespace spinlorex::effects
