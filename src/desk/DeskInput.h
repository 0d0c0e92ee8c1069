#pragma once

#include <cstdint>

#include "desk/DeskContext.h"

namespace spinlorex {

class AutoMix;
class DeskFaders;
class DeskPanels;
class DeskSync;
class DeskTransport;
class DeskLoops;
class DeskHotCues;
class DeskPreview;

// The keyboard and the mouse on the desk: the key table, pressing and releasing the skin's
// buttons, dragging the sliders, the crossfader and the window, and the jump on a disc.
// Owns the pressed button, the drag in progress, the search field's focus and the
// information toggle of the deck displays.
//
// Main thread only. Calls block until the sound thread served them.
class DeskInput {
public:
    struct Parts {
        DeskFaders& faders;
        DeskSync& sync;
        DeskPanels& panels;
        AutoMix& mix;
        DeskTransport& transport;
        DeskLoops& loops;
        DeskHotCues& hotCues;
        DeskPreview& preview;
    };

    DeskInput(DeskContext& context, Parts parts);

    // Keyboard, with Windows virtual-key codes; true when the key is consumed.
    bool onKeyDown(int virtualKey);
    void onMouseDown(bool leftButton, int32_t x, int32_t y);
    void onMouseUp(int32_t x, int32_t y);
    // keyState: 0 when no mouse button or modifier key is held.
    void onMouseMove(int32_t x, int32_t y, int32_t keyState);

    // An edit field of the library got or lost the keyboard focus.
    void setSearchEditActive(bool active) { searchEditActive_ = active; }
    bool searchEditActive() const { return searchEditActive_; }
    // The pressed button drawn up again without its action (the mouse is released).
    void releaseButton();
    int pressedButton() const { return pressedButton_; }
    int dragMode() const { return dragMode_; }
    // The top band between the rhythm strip and the waveforms (key W, the band's corner):
    // the "Waveforms" setting flips and the shell shows the band it names.
    void toggleWaveforms();
    // A click in a deck's overview at `fraction` of its track: a running auto-mix stops,
    // the deck goes there, playing on if it played; at the end the track ends.
    void seekFromOverview(int deck, double fraction);
    // The deck displays show the extended information (toggled by the info buttons).
    bool infoExtended() const { return infoExtended_; }

private:
    enum DragMode {
        kNoDrag = 0,
        kCrossfaderDrag = 1,
        kPitchDrag = 2,
        kLevelDrag = 4,
        kWindowDrag = 6
    };

    void pressButton(int id);
    void actOnRelease(int id);
    void startCrossfaderDrag(bool rightButton, int32_t x);
    void moveCrossfader(int32_t x);
    void startSliderDrag(int sliderId, bool rightButton, int32_t y);
    void moveSlider(int32_t y);
    void discJump(int deck, int32_t x, int32_t y);

    DeskContext& context_;
    DeskFaders& faders_;
    DeskSync& sync_;
    DeskPanels& panels_;
    AutoMix& mix_;
    DeskTransport& transport_;
    DeskLoops& loops_;
    DeskHotCues& hotCues_;
    DeskPreview& preview_;
    bool deleteHotCue_ = false;  // D was pressed: the next hot cue key deletes
    bool searchEditActive_ = false;
    bool infoExtended_ = false;
    int pressedButton_ = -1;
    int dragMode_ = kNoDrag;
    int32_t grabX_ = 0;
    int32_t grabY_ = 0;
    int32_t springBack_ = -1;
};

}  // namespace spinlorex
