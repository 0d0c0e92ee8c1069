#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <string>

#include "audio/DeckLinks.h"
#include "desk/AutoMix.h"
#include "desk/DeskContext.h"
#include "desk/DeskFaders.h"
#include "desk/DeskHotCues.h"
#include "desk/DeskInput.h"
#include "desk/DeskJog.h"
#include "desk/DeskLoops.h"
#include "desk/DeskPanels.h"
#include "desk/DeskPreview.h"
#include "desk/DeskSync.h"
#include "desk/DeskTransport.h"
#include "library/LibraryDecks.h"
#include "library/TrackRecord.h"

namespace spinlorex {

// The one object behind the desk window. It owns the desk's parts and wires them together:
// the faders (DeskFaders), sync (DeskSync), the selected deck and the panels (DeskPanels),
// the automatic mix (AutoMix), the transport (DeskTransport) and the keyboard and mouse
// (DeskInput). Itself it keeps the start-up and skin changes, the timers and the sound
// thread's messages, closing, and the display refresh with each deck's status.
//
// Qt-free: it draws through DeskView, times through DeskTimers and reaches the window
// through DeskShell, so the same desk runs in the Qt window, in tests and headless in
// spinlorex-tool.
//
// Main thread only (setDeckStatus excepted). Calls that change a deck block until the
// sound thread served them, so none of them may run on the sound thread.
//
// The music library reaches the decks through it (LibraryDecks).
class MixingDesk : public DeskControl, public LibraryDecks {
public:
    using Links = DeskContext::Links;

    // Sets pitchMin and pitchMax from the "LimitPitch" setting.
    explicit MixingDesk(Links links);
    ~MixingDesk() override;
    MixingDesk(const MixingDesk&) = delete;
    MixingDesk& operator=(const MixingDesk&) = delete;

    // The current skin's model (owned by the window; replaced by the skin dialog). Without
    // a skin the mouse does nothing.
    void setSkin(const SkinModel* skin) { context_.skin = skin; }
    const SkinModel* skin() const { return context_.skin; }
    // The analysis of whole tracks in the background (null: none): told of every load, and
    // given the library's next track on each display refresh.
    void setBackgroundAnalysis(BackgroundAnalysis* analysis) { context_.analysis = analysis; }
    // Opens the files of loads on threads of its own (null: on the main thread, at once).
    // Its answers reach the decks through onTracksOpened().
    void setTrackOpener(TrackOpener* opener) { context_.opener = opener; }
    // The track opener woke the main thread: the loads it answered end.
    void onTracksOpened() { transport_.collectOpenedTracks(); }

    // Opens the previews' files on threads of their own (null: on the main thread), and
    // the answer of that opener.
    void setPreviewOpener(TrackOpener* opener) { preview_.setOpener(opener); }
    void onPreviewOpened() { preview_.collectOpened(); }

    // The parts, for the window, the dialogs, the tool and tests.
    DeskFaders& faders() { return faders_; }
    DeskSync& sync() { return sync_; }
    DeskPanels& panels() { return panels_; }
    AutoMix& mix() { return mix_; }
    DeskTransport& transport() { return transport_; }
    DeskInput& input() { return input_; }
    DeskLoops& loops() { return loops_; }
    DeskHotCues& hotCues() { return hotCues_; }
    DeskPreview& preview() { return preview_; }
    // The music library as the desk sees it (its lists are the window's).
    DeskLibrary& library() { return context_.links.library; }
    // Shifts deck `deck`'s key by `semitones` (-6..+6, heard at once, kept until the next
    // load), and the shift it has now. Main thread.
    void setKeyShift(int deck, int32_t semitones) { context_.deck(deck).setKeyShift(semitones); }
    int32_t keyShift(int deck) const { return context_.deck(deck).keyShift(); }
    // The jog wheels (their touch and turn run on the controller's thread).
    DeskJog& jog() { return jog_; }
    // Where a track's changed hot cues go (the track store); none: they stay in memory.
    void setHotCueKeeper(DeskHotCues::Keep keep) { keepHotCues_ = std::move(keep); }

    // The desk's state at the end of the window's creation: panel 0, deck 1 selected,
    // crossfader in the middle, fader mode from the skin's "PitchLevel", both decks at
    // level 256 and normal pitch; then the 100 ms display timer.
    void initialise();
    // A new skin is in place (its picture already copied to the desk picture): the desk
    // draws its state onto it, the fader mode following the new skin's "PitchLevel" (0 when
    // set). The window re-applies fonts, the rhythm window and the library itself.
    void applySkin(const SkinModel* skin);
    // The close preparation: every timer killed (the library and rhythm window are the
    // window's to stop).
    void closePreparation();

    // ---- The window's events (keyboard and mouse: input()) ----
    // Timers by id (DeskTimers' constants); other ids do nothing.
    void onTimer(int id);
    // A message of the sound thread (kMessageStartDeck, kMessageTrackEnded); others and
    // deck indexes other than 0 and 1 are ignored.
    void onMessage(int message, int deck);
    // The window is asked to close: the question while music plays, then the close
    // preparation. True when the window should go.
    bool onCloseRequested();

    // A track dropped from outside onto a deck: the "Baby secure" rule, then loadOntoDeck.
    // False when the rule refused it.
    bool dropOntoDeck(int deck, const TrackEntry& entry);
    // Panel 0..5 shown below the decks (the Mix button lit while a mix runs).
    void selectPanel(int panel);
    // Each deck's disc, information and play/pause face, and the record panel's status.
    void refreshDisplay();
    DeckInfo deckInfo(int deck) const;

    // DeskControl: what the decks ask of the desk.
    void setDeckPitch(int deck, int32_t pitch) override;
    void setDeckLevel(int deck, int32_t level) override;
    void setDeckStatus(int deck, uint32_t status) override;
    int32_t pitchMin() const override;
    int32_t pitchMax() const override;

    // LibraryDecks: what the music library asks of the decks.
    void loadOntoDeck(int deck, const TrackEntry& entry) override;
    bool holdsTrack(int deck) const override;
    bool isBusy(int deck) const override;
    bool isAudible(int deck) const override;
    const TrackEntry* openTrack(int deck) const override;
    bool askYesNo(const std::string& question) override;
    bool setTempoByHand(const TrackRecord* record, float bpm) override;
    void tell(const std::string& text) override { context_.links.shell.tell(text); }
    // The live skin control under a desk point, or -1.
    int controlAt(int32_t x, int32_t y) const;
    LibraryRules rules() const override;
    int selectedDeck() const override;
    // The deck's track's key as heard: with master tempo off it follows the pitch (+6 % is
    // a semitone up), and the key shift moves it.
    std::optional<MusicalKey> currentKey(int deck) const override;
    static constexpr const char* kQuitQuestion =
        "The music is still playing!\nAre you sure you want to quit Spinlorex?";
    static constexpr const char* kReplaceQuestion = spinlorex::kReplaceQuestion;

private:
    DeskContext context_;
    DeskFaders faders_;
    DeskSync sync_;
    DeskPanels panels_;
    AutoMix mix_;
    DeskTransport transport_;
    DeskLoops loops_;
    DeskHotCues hotCues_;
    DeskHotCues::Keep keepHotCues_;
    DeskPreview preview_;
    DeskInput input_;
    DeskJog jog_;

    std::array<std::atomic<uint32_t>, 2> status_{kStatusEmpty, kStatusEmpty};
    std::array<int, 2> drawnPlaying_{-1, -1};  // the play/pause face last drawn: -1 none yet
};

}  // namespace spinlorex
