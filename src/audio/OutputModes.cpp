#include "audio/OutputModes.h"

namespace spinlorex {

int32_t outputModeFor(int32_t cardKind, int32_t outputKind, bool soft) {
    if (outputKind == kExternalMixer) soft = false;
    for (size_t mode = 0; mode < kSoundCombinations.size(); ++mode) {
        const SoundCombination& c = kSoundCombinations[mode];
        if (c.cardKind == cardKind && c.outputKind == outputKind && c.soft == soft)
            return static_cast<int32_t>(mode);
    }
    return -1;
}

SoundCombination combinationOf(int32_t outputMode) {
    if (outputMode < 0 || outputMode >= static_cast<int32_t>(kSoundCombinations.size()))
        return kSoundCombinations[0];
    return kSoundCombinations[static_cast<size_t>(outputMode)];
}

OutputPlan outputPlanFor(int32_t outputMode) {
    const SoundCombination c = combinationOf(outputMode);
    OutputPlan plan;
    plan.soft = c.soft && c.outputKind != kExternalMixer;
    if (c.outputKind == kSpeakers) {
        plan.outputs[0] = {Feed::Mix, 0, {0, false}};
        return plan;
    }
    plan.outputCount = 2;
    const bool mixer = c.outputKind == kExternalMixer;
    plan.outputs[0].feed = mixer ? Feed::Deck1 : Feed::Mix;
    plan.outputs[1].feed = mixer ? Feed::Deck2 : Feed::PreListen;
    if (c.cardKind == kTwoCards) {
        plan.twoCards = true;
        plan.outputs[1].card = 1;
    } else if (c.cardKind == kThreeDCard) {
        plan.channels = 4;
        plan.outputs[1].channels = {2, false};
    } else {
        plan.outputs[0].channels = {0, true};
        plan.outputs[1].channels = {1, true};
    }
    return plan;
}

}  // namespace spinlorex
