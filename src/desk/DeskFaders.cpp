// The faders: crossfader, pitch and level with their sliders, the fader mode, the pitch
// range and the pitch-reset glide.

#include "desk/DeskFaders.h"

#include <algorithm>

#include "audio/AudioFormat.h"
#include "audio/Crossfader.h"
#include "audio/OutputDevice.h"
#include "platform/settings/Settings.h"

namespace spinlorex {

namespace {
constexpr int32_t kPitchResetMs = 500;
}  // namespace

DeskFaders::DeskFaders(DeskContext& context) : context_(context) {
    applyPitchRange();
    for (DeckFaders& s : state_) {
        s.pitchSlider = (kNormalPitch - pitchMin_) * 256 / (pitchMax_ - pitchMin_);
        s.levelSlider = 256 - s.level;
    }
}

void DeskFaders::applyPitchRange() {
    const bool narrow = get(settings().limitPitch) != 0;
    pitchMin_ = narrow ? 3768 : 2730;
    pitchMax_ = narrow ? 4424 : 5462;
}

void DeskFaders::setCrossfader(int32_t value) {
    value = std::clamp(value, int32_t{0}, kCrossfaderMax);
    const int32_t old = crossfader_;
    if (value != old) {
        if (OutputDevice* out = context_.output()) out->applyCrossfader(value);
    }
    context_.links.view.drawCrossfaderKnob(old, value);
    crossfader_ = value;
}

void DeskFaders::initialiseFaderMode(bool singleSlider) {
    if (singleSlider)
        setFaderMode(1);
    else
        faderMode_ = -1;
}

void DeskFaders::followSkin(bool singleSlider) {
    if (singleSlider) {
        // Coming from a skin with separate sliders the mode is -1, which setFaderMode
        // would keep: the new skin's single slider per deck would show both sets at once.
        if (faderMode_ == -1) faderMode_ = 0;
        setFaderMode(0);
    } else {
        faderMode_ = -1;
    }
}

void DeskFaders::setFaderMode(int mode) {
    if (faderMode_ == -1 || (mode != 0 && mode != 1)) return;
    DeskView& view = context_.links.view;
    const int old = faderMode_;
    faderMode_ = mode;
    if (old == 0) {
        for (int id : {ctl::ResetPitch1, ctl::ResetPitch2, ctl::Pitch1, ctl::Pitch2})
            view.restoreControl(id);
        view.drawControl(ctl::MenuLevel1, false);
        view.drawControl(ctl::MenuLevel2, false);
    } else if (old == 1) {
        view.restoreControl(ctl::Level1);
        view.restoreControl(ctl::Level2);
        view.drawControl(ctl::MenuPitch1, false);
        view.drawControl(ctl::MenuPitch2, false);
    }
    if (mode == 0) {
        for (int id : {ctl::Pitch1, ctl::Pitch2, ctl::MenuLevel1, ctl::MenuLevel2})
            view.drawControl(id, true);
        for (int d = 0; d < 2; ++d) {
            const DeckFaders& s = state_[deckIndex(d)];
            view.drawControl(ctl::ResetPitch1 + d, s.pitchResetRunning);
            view.drawSliderKnob(ctl::Pitch1 + d, s.pitchSlider, s.pitchSlider);
        }
    } else {
        for (int id : {ctl::Level1, ctl::Level2, ctl::MenuPitch1, ctl::MenuPitch2})
            view.drawControl(id, true);
        for (int d = 0; d < 2; ++d) {
            const DeckFaders& s = state_[deckIndex(d)];
            view.drawSliderKnob(ctl::Level1 + d, s.levelSlider, s.levelSlider);
        }
    }
}

void DeskFaders::setDeckPitch(int d, int32_t pitch) {
    if (d != 0 && d != 1) return;
    pitch = std::clamp(pitch, pitchMin_, pitchMax_);
    context_.deck(d).setPitch(pitch);
    DeckFaders& s = state_[deckIndex(d)];
    const int32_t old = s.pitchSlider;
    s.pitchSlider = (pitch - pitchMin_) * 256 / (pitchMax_ - pitchMin_);
    if (faderMode_ != 1) context_.links.view.drawSliderKnob(ctl::Pitch1 + d, old, s.pitchSlider);
}

void DeskFaders::setDeckLevel(int d, int32_t level) {
    if (d != 0 && d != 1) return;
    level = std::clamp(level, int32_t{0}, int32_t{256});
    context_.deck(d).setLevel(level);
    DeckFaders& s = state_[deckIndex(d)];
    s.level = level;
    const int32_t old = s.levelSlider;
    s.levelSlider = 256 - level;
    if (faderMode_ != 0) context_.links.view.drawSliderKnob(ctl::Level1 + d, old, s.levelSlider);
}

// ---------------------------------------------------------------------------------------
// Pitch reset: a glide back to normal speed, 16/4096 every half second

void DeskFaders::drawResetLamp(int d, bool on) {
    // The reset buttons are hidden while the sliders show the volume.
    if (faderMode_ != 1) context_.links.view.drawControl(ctl::ResetPitch1 + d, on);
}

void DeskFaders::startPitchReset(int d) {
    context_.links.timers.start(DeskTimers::kPitchReset1 + d, kPitchResetMs);
    state_[deckIndex(d)].pitchResetRunning = true;
    drawResetLamp(d, true);
}

void DeskFaders::stopPitchReset(int d) {
    context_.links.timers.kill(DeskTimers::kPitchReset1 + d);
    state_[deckIndex(d)].pitchResetRunning = false;
    drawResetLamp(d, false);
}

void DeskFaders::resetPitchButton(int d) {
    if (!state_[deckIndex(d)].pitchResetRunning) {
        startPitchReset(d);
        return;
    }
    stopPitchReset(d);
    setDeckPitch(d, kNormalPitch);
}

void DeskFaders::pitchResetTick(int d) {
    int32_t p = context_.deck(d).pitch();
    if (p < 4080)
        p += 16;
    else if (p < 4113)
        p = kNormalPitch;
    else
        p -= 16;
    setDeckPitch(d, p);
    if (context_.deck(d).pitch() == kNormalPitch) stopPitchReset(d);
}

void DeskFaders::killTimers() {
    for (int d = 0; d < 2; ++d) {
        DeckFaders& s = state_[deckIndex(d)];
        if (s.pitchResetRunning) context_.links.timers.kill(DeskTimers::kPitchReset1 + d);
        s.pitchResetRunning = false;
    }
}

}  // namespace spinlorex
