#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "desk/display/DeckInfo.h"

namespace spinlorex {

// What the desk asks its picture to redraw. Every call draws into the desk picture and
// invalidates just the rectangle it touched. The Qt desk implements it; tests record the
// calls. Main thread only.
class DeskView {
public:
    virtual ~DeskView() = default;

    // A control's on- or off-look copied from the skin picture to its place.
    virtual void drawControl(int id, bool on) = 0;
    // A control's rectangle copied from the skin picture at its own place (erases what the
    // desk drew there: a removed button, a slider of the other fader mode).
    virtual void restoreControl(int id) = 0;

    // The 100 ms disc refresh: the hand at `position` (none when negative) and, when a track
    // is open, the cue mark at `cuePoint`. Does nothing when the hand has not moved.
    virtual void drawDisc(int deck, float position, float cuePoint, bool trackOpen) = 0;
    // After the cue point changed: the whole disc restored, the cue mark drawn when a track
    // is open; the next drawDisc draws the hand anew.
    virtual void redrawCueMark(int deck, float cuePoint, bool trackOpen) = 0;

    // A vertical slider's knob moved from one slider position (0..256, 0 = top) to
    // another; slider 22..25 (pitch1, pitch2, level1, level2).
    virtual void drawSliderKnob(int sliderId, int32_t oldPosition, int32_t newPosition) = 0;
    // The crossfader's knob moved (0..384).
    virtual void drawCrossfaderKnob(int32_t oldValue, int32_t newValue) = 0;

    virtual void drawDeckInfo(int deck, const DeckInfo& info) = 0;
    // Artist (line A) and title (line B); empty strings for none.
    virtual void drawDeckTitle(int deck, const std::string& artist, const std::string& title) = 0;

    // The options panel (panel 5) and the recorder's status (panel 3, empty text: nothing
    // recording). Drawn by the options panel's code.
    virtual void drawOptionsPanel() = 0;
    virtual void drawRecordStatus(const std::string& text) = 0;
};

}  // namespace spinlorex
