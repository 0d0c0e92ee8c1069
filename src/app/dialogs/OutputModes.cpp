#include "app/dialogs/OutputModes.h"

namespace spinlorex {

int32_t outputModeFor(int32_t cardKind, int32_t outputKind, bool soft) {
    if (outputKind == kExternalMixer) soft = false;
    for (size_t mode = 0; mode < kSoundCombinations.size(); ++mode) {
        const SoundCombination& c = kSoundCombinations[mode];
        if (c.cardKind == cardKind && c.outputKind == outputKind && c.soft == soft) return static_cast<int32_t>(mode);
    }
    return -1;
}

SoundCombination combinationOf(int32_t outputMode) {
    if (outputMode < 0 || outputMode >= static_cast<int32_t>(kSoundCombinations.size())) return kSoundCombinations[0];
    return kSoundCombinations[static_cast<size_t>(outputMode)];
}

}  // namespace spinlorex
