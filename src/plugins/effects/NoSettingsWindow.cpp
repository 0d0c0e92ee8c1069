#include "plugins/effects/SettingsWindow.h"

namespace spinlorex::effects {

// Built without Qt: the effects run, with the settings from their file.
bool showSettingsWindow(Effect&, void*) { return false; }

}  // namespace spinlorex::effects
