#pragma once

#include <cstdint>

#include "desk/DeskContext.h"

namespace spinlorex {

class DeskFaders;
class DeskPanels;
class DeskSync;

// The automatic mix from one deck to the other: the Mix button's decisions, the 200 ms
// steps that move the crossfader across while the beats are kept in step, and the
// automatic-mixing switch that keeps the decks fed from the playlist. Owns the mix's state
// and its step timer.
//
// Main thread only. Calls block until the sound thread served them.
class AutoMix {
public:
    AutoMix(DeskContext& context, DeskFaders& faders, DeskSync& sync, DeskPanels& panels);

    // The Mix button: stops a running mix, else starts what fits what plays.
    void mixNow();
    // A mix towards deck d, from the crossfader's other side. A deck still loading starts
    // the mix when its load ends; a deck without a track none.
    void startMix(int deck);
    void stopMix();
    // The step timer fired.
    void tick();
    // The automatic-mixing switch of the playlist panel.
    void toggleAutoMix();
    // The sound thread asks to start deck d now: a mix towards it, unless one runs already.
    void onStartDeck(int deck);
    // Deck d reached its track's end: with automatic mixing, the playlist's next track.
    void onTrackEnded(int deck);
    // The load of deck d ended (`loaded`: it holds the track): a mix waiting for it starts.
    void onLoadEnded(int deck, bool loaded);
    // The close preparation: the step timer killed.
    void killTimer();

    bool running() const { return running_; }
    // 0..32 on the ramps, 42 while holding at the middle.
    int32_t step() const { return step_; }

private:
    DeskContext& context_;
    DeskFaders& faders_;
    DeskSync& sync_;
    DeskPanels& panels_;
    bool running_ = false;
    int32_t step_ = 0;
    int32_t hold_ = 0;
    int target_ = 0;
    int waitingFor_ = -1;  // the deck whose load a mix waits for; -1 none
};

}  // namespace spinlorex
