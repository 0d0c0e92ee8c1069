#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <string>

#include "audio/DeckLinks.h"
#include "desk/DeskLibrary.h"
#include "desk/DeskShell.h"
#include "desk/DeskTimers.h"
#include "desk/DeskView.h"
#include "library/LibraryDecks.h"
#include "library/TrackRecord.h"
#include "skin/SkinModel.h"

namespace spinlorex {

class AudioEngine;
class BackgroundAnalysis;
class DeckPair;
class DeckStream;
class OutputDevice;
class SampleSink;

// The one object behind the desk window: per-deck display and fader state, drags, timers,
// the selected deck and the current panel, and every decision of transport, sync,
// auto-mix, keyboard and mouse. Qt-free: it draws through DeskView, times through
// DeskTimers and reaches the window through DeskShell, so the same desk runs in the Qt
// window, in tests and headless in spinlorex-tool.
//
// Main thread only (setDeckStatus excepted). Calls that change a deck block until the
// sound thread served them, so none of them may run on the sound thread.
//
// The music library reaches the decks through it (LibraryDecks).
class MixingDesk : public DeskControl, public LibraryDecks {
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
    MixingDesk(const MixingDesk&) = delete;
    MixingDesk& operator=(const MixingDesk&) = delete;

    // The current skin's model (owned by the window; replaced by the skin dialog). Without
    // a skin the mouse does nothing.
    void setSkin(const SkinModel* skin) { skin_ = skin; }
    const SkinModel* skin() const { return skin_; }
    // The analysis of whole tracks in the background (null: none): told of every load, and
    // given the library's next track on each display refresh.
    void setBackgroundAnalysis(BackgroundAnalysis* analysis) { analysis_ = analysis; }

    // The desk's state at the end of the window's creation: panel 0, deck 1 selected,
    // crossfader in the middle, fader mode from the skin's "PitchLevel", both decks at
    // level 256 and pitch 4096; then the 100 ms display timer.
    void initialise();
    // A new skin is in place (its picture already copied to the desk picture): the desk
    // draws its state onto it, the fader mode following the new skin's "PitchLevel" (0 when
    // set). The window re-applies fonts, the rhythm window and the library itself.
    void applySkin(const SkinModel* skin);
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
    // Timers by id (DeskTimers' constants); other ids do nothing.
    void onTimer(int id);
    // A message of the sound thread (kMessageStartDeck, kMessageTrackEnded); others and
    // deck indexes other than 0 and 1 are ignored.
    void onMessage(int message, int deck);
    // Message 1068: start the deck now (automatic mix).
    void onStartDeck(int deck);
    // Message 1069: the deck reached the end of its track.
    void onTrackEnded(int deck);
    // The window is asked to close: the question while music plays, then the close
    // preparation. True when the window should go.
    bool onCloseRequested();
    // An edit field of the library got or lost the keyboard focus.
    void setSearchEditActive(bool active) { searchEditActive_ = active; }
    bool searchEditActive() const { return searchEditActive_; }

    // ---- Operations (also used by the library and the dialogs) ----
    void loadOntoDeck(int deck, const TrackEntry& entry) override;
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
    // A recording was ended by something other than the desk (a new sound configuration
    // that cannot record): the record panel shows `why` over the recording's last status
    // until the next recording starts. Main thread.
    void recordingEnded(const std::string& why, const SampleSink& recorder);
    // The record panel's text after a recording ended with a problem; empty when none.
    const std::string& recordEndMessage() const { return recordEndMessage_; }

    // Transport and sync of one deck, as the buttons do them.
    void playPause(int deck);   // play1/2, pause1/2: toggles
    void stopButton(int deck);  // stop1/2: the cue cycle (or the cue store with CueStop)
    void cueButton(int deck);   // mem1/2: the cue store (or the cue cycle with CueStop)
    void skipBeat(int deck);
    void resetPitchButton(int deck);
    void syncPitch(int deck);
    void syncLevel(int deck);
    void syncBeat(int deck);
    void magicSync(int deck);
    // The automatic-mixing switch of the playlist panel.
    void toggleAutoMix();
    // An option line of the options panel (ids 69, 71..85).
    void optionClicked(int id);

    // DeskControl: what the decks ask of the desk.
    void setDeckPitch(int deck, int32_t pitch) override;
    void setDeckLevel(int deck, int32_t level) override;
    void setDeckStatus(int deck, uint32_t status) override;
    int32_t pitchMin() const override;
    int32_t pitchMax() const override;

    // LibraryDecks: what the music library asks of the decks.
    bool holdsTrack(int deck) const override;
    bool isBusy(int deck) const override;
    bool isAudible(int deck) const override;
    const TrackEntry* openTrack(int deck) const override;
    bool askYesNo(const std::string& question) override;
    int controlAt(int32_t x, int32_t y) const override;

    // ---- State, for the view, the dialogs and tests ----
    DeckInfo deckInfo(int deck) const;
    int selectedDeck() const override;
    int currentPanel() const;
    int faderMode() const;
    int32_t crossfader() const;
    // The auto-mix's step: 0..32 on the ramps, 42 while holding at the middle.
    int32_t mixStep() const { return mixStep_; }
    // Output frames the beat sync of the last auto-mix step moved a deck by (0: none).
    int32_t lastBeatShift() const { return lastBeatShift_; }
    bool mixRunning() const;
    int32_t pitchSlider(int deck) const { return state_[index(deck)].pitchSlider; }
    int32_t levelSlider(int deck) const { return state_[index(deck)].levelSlider; }
    int32_t deckLevel(int deck) const { return state_[index(deck)].level; }
    bool pitchResetRunning(int deck) const { return state_[index(deck)].pitchResetRunning; }
    bool historyTimerRunning(int deck) const { return state_[index(deck)].historyRunning; }
    const std::string& titleLine1(int deck) const { return state_[index(deck)].artist; }
    const std::string& titleLine2(int deck) const { return state_[index(deck)].title; }
    bool infoExtended() const { return infoExtended_; }
    int pressedButton() const { return pressedButton_; }
    int dragMode() const { return dragMode_; }

    static constexpr const char* kQuitQuestion =
        "The music is still playing!\nAre you sure you want to quit Spinlorex?";
    static constexpr const char* kRecordingStopped = "Recording stopped";
    static constexpr const char* kReplaceQuestion = spinlorex::kReplaceQuestion;

private:
    enum DragMode {
        kNoDrag = 0,
        kCrossfaderDrag = 1,
        kPitchDrag = 2,
        kLevelDrag = 4,
        kWindowDrag = 6
    };

    struct DeckState {
        std::string artist;  // title line 1
        std::string title;   // title line 2
        int32_t pitchSlider = 0;
        int32_t level = 256;
        int32_t levelSlider = 0;
        bool historyRunning = false;
        bool pitchResetRunning = false;
        int drawnPlaying = -1;  // the play/pause face last drawn: -1 none yet
    };

    static size_t index(int deck) { return deck == 1 ? 1 : 0; }
    DeckStream& deck(int d) const;
    OutputDevice* output() const;
    const SkinControl& control(int id) const;

    // Transport helpers.
    void startPitchReset(int deck);
    void stopPitchReset(int deck);
    void pitchResetTick(int deck);
    void drawResetLamp(int deck, bool on);
    void redrawCueMark(int deck);
    void applyPitchRange();
    void togglePitchRange();
    bool bothDecksOpen() const;
    void softSyncBeat(int deck);
    void mixTick();
    bool mixVisible() const;
    void drawRecordStatus(bool force);
    // Each display refresh: ends a recording whose file cannot be written, and notices one
    // that lost frames.
    void watchRecording();
    void showRecordingEnded(const std::string& text);
    static std::string withFirstLine(const std::string& text, const std::string& first);
    void drawOptionsPanel();

    // Input helpers.
    void pressButton(int id);
    void releaseButton();
    void actOnRelease(int id);
    void startCrossfaderDrag(bool rightButton, int32_t x);
    void moveCrossfader(int32_t x);
    void startSliderDrag(int sliderId, bool rightButton, int32_t y);
    void moveSlider(int32_t y);
    void discJump(int deck, int32_t x, int32_t y);

    Links links_;
    const SkinModel* skin_ = nullptr;
    BackgroundAnalysis* analysis_ = nullptr;
    bool searchEditActive_ = false;

    std::array<DeckState, 2> state_{};
    std::array<std::atomic<uint32_t>, 2> status_{kStatusEmpty, kStatusEmpty};
    std::atomic<int> selectedDeck_{0};  // also read by the rhythm strip's drawing thread
    int currentPanel_ = -1;             // no panel before the first selectPanel
    int faderMode_ = 0;
    int32_t crossfader_ = 0;
    int32_t pitchMin_ = 2730;
    int32_t pitchMax_ = 5462;
    bool infoExtended_ = false;
    bool recordStatusShown_ = false;
    std::string recordEndMessage_;  // shown on the record panel while nothing records
    std::string lastRecordStatus_;  // of the running recording, once it lost frames
    bool lastRecordingLost_ = false;

    // Auto-mix.
    bool mixRunning_ = false;
    int32_t mixStep_ = 0;
    int32_t lastBeatShift_ = 0;
    int32_t mixHold_ = 0;
    int mixTarget_ = 0;

    // Input.
    int pressedButton_ = -1;
    int dragMode_ = kNoDrag;
    int32_t grabX_ = 0;
    int32_t grabY_ = 0;
    int32_t springBack_ = -1;
};

}  // namespace spinlorex
