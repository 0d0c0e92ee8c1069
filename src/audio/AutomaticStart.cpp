#include "audio/AutomaticStart.h"

#include "audio/AudioFormat.h"

namespace spinlorex {

bool automaticStartDue(const AutomaticStartCheck& c) {
    if (!c.autoMix || c.mixedOut || !c.playing || c.looping || c.heard < 0.8f) return false;
    if (c.otherPlaying) return false;
    const int32_t seconds = c.seconds;
    if (seconds > 0) {
        const float lastBeat = c.lastStrongBeat;
        const double mixEnd = c.heard + (c.longMix + 32) * c.pitch * 0.2 / kNormalPitch / seconds;
        if (lastBeat > mixEnd) return false;
    }
    return true;
}

}  // namespace spinlorex
