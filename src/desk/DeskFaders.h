#pragma once

#include <array>
#include <cstdint>

#include "desk/DeskContext.h"

namespace spinlorex {

// The faders of the desk: the crossfader, each deck's pitch and level with their sliders,
// the pitch range, whether the skin's single slider per deck shows pitch or level, and the
// pitch-reset glide back to normal speed. It owns their state and their two glide timers.
//
// Main thread only. Calls that change a deck block until the sound thread served them.
class DeskFaders {
public:
    // Sets pitchMin and pitchMax from the "LimitPitch" setting.
    explicit DeskFaders(DeskContext& context);

    void setCrossfader(int32_t value);
    int32_t crossfader() const { return crossfader_; }

    // 0: the single slider per deck shows the pitch, 1: the level; -1: the skin has
    // separate sliders, and the mode stays -1.
    void setFaderMode(int mode);
    int faderMode() const { return faderMode_; }
    // At the window's creation: mode 1 with a single slider per deck, else -1.
    void initialiseFaderMode(bool singleSlider);
    // A new skin is in place: mode 0 with a single slider per deck, else -1.
    void followSkin(bool singleSlider);

    // Clamped into pitchMin..pitchMax, applied to the deck, its knob moved.
    void setDeckPitch(int deck, int32_t pitch);
    // Clamped into 0..256, applied to the deck, its knob moved.
    void setDeckLevel(int deck, int32_t level);
    int32_t pitchMin() const { return pitchMin_; }
    int32_t pitchMax() const { return pitchMax_; }
    // Reads the "LimitPitch" setting into pitchMin and pitchMax.
    void applyPitchRange();
    int32_t pitchSlider(int deck) const { return state_[deckIndex(deck)].pitchSlider; }
    int32_t levelSlider(int deck) const { return state_[deckIndex(deck)].levelSlider; }
    int32_t deckLevel(int deck) const { return state_[deckIndex(deck)].level; }

    // The reset button: starts the glide, or during one jumps to normal pitch.
    void resetPitchButton(int deck);
    void startPitchReset(int deck);
    void stopPitchReset(int deck);
    // The glide's timer fired: 16/4096 closer to normal pitch.
    void pitchResetTick(int deck);
    bool pitchResetRunning(int deck) const { return state_[deckIndex(deck)].pitchResetRunning; }
    // The close preparation: the glide timers killed.
    void killTimers();

private:
    struct DeckFaders {
        int32_t pitchSlider = 0;
        int32_t level = 256;
        int32_t levelSlider = 0;
        bool pitchResetRunning = false;
    };

    void drawResetLamp(int deck, bool on);

    DeskContext& context_;
    std::array<DeckFaders, 2> state_{};
    int faderMode_ = 0;
    int32_t crossfader_ = 0;
    int32_t pitchMin_ = 2730;
    int32_t pitchMax_ = 5462;
};

}  // namespace spinlorex
