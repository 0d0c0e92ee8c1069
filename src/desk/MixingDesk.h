#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "audio/DeckLinks.h"
#include "desk/DeskLibrary.h"
#include "desk/DeskShell.h"
#include "desk/DeskTimers.h"
#include "desk/DeskView.h"
#include "library/TrackRecord.h"
#include "skin/SkinModel.h"

namespace spinlorex {

class AudioEngine;
class DeckPair;

// The one object behind the desk window: per-deck display and fader state, drags, timers,
// the selected deck and the current panel, and every decision of transport, sync,
// auto-mix, keyboard and mouse. Qt-free: it draws through DeskView, times through
// DeskTimers and reaches the window through DeskShell, so the same desk runs in the Qt
// window, in tests and headless in spinlorex-tool.
//
// Main thread only. Calls that change a deck block until the sound thread served them.
class MixingDesk : public DeskControl {
public:
    struct Links {
        DeckPair& decks;
        AudioEngine& engine;  // its current output device may change (sound configuration)
        DeskView& view;
        DeskTimers& timers;
        DeskShell& shell;
        DeskLibrary& library;
    };

    // Sets pitchMin and pitchMax from the "LimitPitch" setting.
    explicit MixingDesk(Links links);
    ~MixingDesk() override;

    // The current skin's model (owned by the window; replaced by the skin dialog).
    void setSkin(const SkinModel* skin) { skin_ = skin; }
    const SkinModel* skin() const { return skin_; }

    // The desk's state at the end of the window's creation: panel 0, deck 1 selected,
    // crossfader in the middle, fader mode from the skin's "PitchLevel", both decks at
    // level 256 and pitch 4096; then the 100 ms display timer.
    void initialise();
    // The close preparation: every timer killed (the library and rhythm window are the
    // window's to stop).
    void closePreparation();

    // ---- The window's events ----
    // Keyboard, with Windows virtual-key codes; true when the key is consumed.
    bool onKeyDown(int virtualKey);
    void onMouseDown(bool leftButton, int32_t x, int32_t y);
    void onMouseUp(int32_t x, int32_t y);
    // keyState: 0 when no mouse button or modifier key is held.
    void onMouseMove(int32_t x, int32_t y, int32_t keyState);
    void onTimer(int id);
    // Message 1068: start the deck now (automatic mix).
    void onStartDeck(int deck);
    // Message 1069: the deck reached the end of its track.
    void onTrackEnded(int deck);
    // The window is asked to close: the question while music plays, then the close
    // preparation. True when the window should go.
    bool onCloseRequested();
    // An edit field of the library got or lost the keyboard focus.
    void setSearchEditActive(bool active) { searchEditActive_ = active; }

    // ---- Operations (also used by the library and the dialogs) ----
    void loadOntoDeck(int deck, const TrackEntry& entry);
    // A track dropped from outside onto a deck: the "Baby secure" rule, then loadOntoDeck.
    // False when the rule refused it.
    bool dropOntoDeck(int deck, const TrackEntry& entry);
    void selectDeck(int deck);
    void selectPanel(int panel);
    void setFaderMode(int mode);
    void setCrossfader(int32_t value);
    void mixNow();
    void startMix(int deck);
    void stopMix();
    void refreshDisplay();

    // DeskControl: what the decks ask of the desk.
    void setDeckPitch(int deck, int32_t pitch) override;
    void setDeckLevel(int deck, int32_t level) override;
    void setDeckStatus(int deck, uint32_t status) override;
    int32_t pitchMin() const override;
    int32_t pitchMax() const override;

    // ---- State, for the view, the dialogs and tests ----
    DeckInfo deckInfo(int deck) const;
    int selectedDeck() const;
    int currentPanel() const;
    int faderMode() const;
    int32_t crossfader() const;
    bool mixRunning() const;

private:
    Links links_;
    const SkinModel* skin_ = nullptr;
    bool searchEditActive_ = false;
};

}  // namespace spinlorex
