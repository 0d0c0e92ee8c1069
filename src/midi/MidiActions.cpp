#include "midi/MidiActions.h"

#include <array>

namespace spinlorex::midi {

namespace {

using K = ActionKind;
using M = ButtonMode;

// In enum order: actionInfo indexes it.
constexpr std::array kActions{
    ActionInfo{Action::Play, "play", true, K::Button, M::Press, 0},
    ActionInfo{Action::Cue, "cue", true, K::Button, M::Press, 0},
    ActionInfo{Action::Stop, "stop", true, K::Button, M::Press, 0},
    ActionInfo{Action::Sync, "sync", true, K::Button, M::Press, 0},
    ActionInfo{Action::MagicSync, "magic-sync", true, K::Button, M::Press, 0},
    ActionInfo{Action::SkipBeat, "skip-beat", true, K::Button, M::Press, 0},
    ActionInfo{Action::Pitch, "pitch", true, K::Absolute, M::Press, 0},
    ActionInfo{Action::PitchBendUp, "pitch-bend-up", true, K::Button, M::Hold, 0},
    ActionInfo{Action::PitchBendDown, "pitch-bend-down", true, K::Button, M::Hold, 0},
    ActionInfo{Action::Volume, "volume", true, K::Absolute, M::Press, 0},
    ActionInfo{Action::Jog, "jog", true, K::Relative, M::Press, 0},
    ActionInfo{Action::JogTouch, "jog-touch", true, K::Button, M::Hold, 0},
    ActionInfo{Action::Select, "select", true, K::Button, M::Press, 0},
    ActionInfo{Action::Load, "load", true, K::Button, M::Press, 0},
    ActionInfo{Action::Effect, "effect", true, K::Button, M::Press, 0},
    ActionInfo{Action::HotCue, "hotcue", true, K::Button, M::Press, 8},
    ActionInfo{Action::HotCueDelete, "hotcue-delete", true, K::Button, M::Press, 8},
    ActionInfo{Action::BeatLoop, "loop", true, K::Button, M::Press, 0},
    ActionInfo{Action::LoopHalf, "loop-half", true, K::Button, M::Press, 0},
    ActionInfo{Action::LoopDouble, "loop-double", true, K::Button, M::Press, 0},
    ActionInfo{Action::LoopIn, "loop-in", true, K::Button, M::Press, 0},
    ActionInfo{Action::LoopOut, "loop-out", true, K::Button, M::Press, 0},
    ActionInfo{Action::Reloop, "reloop", true, K::Button, M::Press, 0},
    ActionInfo{Action::LoopExit, "loop-exit", true, K::Button, M::Press, 0},
    ActionInfo{Action::LoopBack, "loop-back", true, K::Button, M::Press, 0},
    ActionInfo{Action::LoopForward, "loop-forward", true, K::Button, M::Press, 0},
    ActionInfo{Action::Crossfader, "crossfader", false, K::Absolute, M::Press, 0},
    ActionInfo{Action::Browse, "browse", false, K::Relative, M::Press, 0},
    ActionInfo{Action::BrowsePress, "browse-press", false, K::Button, M::Press, 0},
    ActionInfo{Action::Panel, "panel", false, K::Button, M::Press, 6},
    ActionInfo{Action::MixNow, "mix-now", false, K::Button, M::Press, 0},
    ActionInfo{Action::AutoMix, "auto-mix", false, K::Button, M::Press, 0},
    ActionInfo{Action::Record, "record", false, K::Button, M::Press, 0},
    ActionInfo{Action::Shift, "shift", false, K::Button, M::Hold, 0},
};

constexpr bool inEnumOrder() {
    for (std::size_t i = 0; i < kActions.size(); ++i)
        if (static_cast<std::size_t>(kActions[i].action) != i) return false;
    return static_cast<std::size_t>(Action::Shift) + 1 == kActions.size();
}
static_assert(inEnumOrder());

constexpr std::array<std::string_view, 4> kLightNames{"play", "cue", "sync", "selected"};

}  // namespace

const ActionInfo& actionInfo(Action action) { return kActions[static_cast<std::size_t>(action)]; }

std::optional<Action> actionNamed(std::string_view name) {
    for (const ActionInfo& info : kActions)
        if (info.name == name) return info.action;
    return std::nullopt;
}

const ActionInfo* allActions(std::size_t& count) {
    count = kActions.size();
    return kActions.data();
}

std::string_view lightStateName(LightState state) {
    return kLightNames[static_cast<std::size_t>(state)];
}

std::optional<LightState> lightStateNamed(std::string_view name) {
    for (std::size_t i = 0; i < kLightNames.size(); ++i)
        if (kLightNames[i] == name) return static_cast<LightState>(i);
    return std::nullopt;
}

}  // namespace spinlorex::midi
