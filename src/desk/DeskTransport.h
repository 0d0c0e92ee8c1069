#pragma once

#include <array>
#include <string>

#include "desk/DeskContext.h"
#include "library/TrackRecord.h"

namespace spinlorex {

class AutoMix;
class DeskFaders;
class DeskPanels;

// Each deck's transport as its buttons drive it: loading a track (with its title lines and
// the timer that enters it into the history), play/pause, the cue buttons and the beat
// skip. A button the user presses ends a running mix. Owns the title lines and the history
// timers.
//
// Main thread only. Calls block until the sound thread served them.
class DeskTransport {
public:
    DeskTransport(DeskContext& context, DeskFaders& faders, DeskPanels& panels, AutoMix& mix);

    // Shows the entry's title and loads it: at once when the desk has no track opener,
    // else the file is opened on the opener's thread and the load ends in
    // onTrackOpened (the deck shows "Loading" meanwhile). The end of a load, either way:
    // the history timer, the cue mark, the background analysis told; a failed load is
    // reported to the library (its playlist may give the deck the next track) and to the
    // automatic mix.
    void loadOntoDeck(int deck, const TrackEntry& entry);
    // The opener's answers that arrived: each still-wanted one ends its deck's load.
    void collectOpenedTracks();
    void playPause(int deck);   // play1/2, pause1/2: toggles
    void stopButton(int deck);  // stop1/2: the cue cycle (or the cue store with CueStop)
    void cueButton(int deck);   // mem1/2: the cue store (or the cue cycle with CueStop)
    // One beat further (both decks open); 120 BPM when the track's tempo is unknown.
    void skipBeat(int deck);
    // The cue mark on the deck's disc drawn where the cue point now is.
    void redrawCueMark(int deck);

    // The history timer of the deck fired: its track enters the history.
    void onHistoryTimer(int deck);
    bool historyTimerRunning(int deck) const { return state_[deckIndex(deck)].historyRunning; }
    // The close preparation: the history timers killed.
    void killTimers();

    const std::string& titleLine1(int deck) const { return state_[deckIndex(deck)].artist; }
    const std::string& titleLine2(int deck) const { return state_[deckIndex(deck)].title; }

private:
    void endLoad(int deck, bool loaded);

    struct DeckTitle {
        std::string artist;  // title line 1
        std::string title;   // title line 2
        bool historyRunning = false;
    };

    DeskContext& context_;
    DeskFaders& faders_;
    DeskPanels& panels_;
    AutoMix& mix_;
    std::array<DeckTitle, 2> state_{};
};

}  // namespace spinlorex
