#pragma once

#include <cstdint>

#include "desk/DeskContext.h"
#include "desk/PhaseLock.h"

namespace spinlorex {

class DeskFaders;

// Bringing one deck in step with the other: its pitch, its level, its beat (at once or in
// small soft corrections during a mix) and the magic sync that starts it in step. Owns the
// size of the last beat correction.
//
// Main thread only. Calls block until the sound thread served them.
class DeskSync {
public:
    DeskSync(DeskContext& context, DeskFaders& faders);

    // The deck's pitch to the other deck's tempo; a running pitch-reset glide stops.
    void syncPitch(int deck);
    void syncLevel(int deck);
    // The deck's next beat onto the other deck's nearest beat (both decks open). When
    // both tracks have beat grids the beats meet to the frame and the phase lock keeps
    // them there while both play; otherwise the analyser's onsets are aligned.
    void syncBeat(int deck);
    // Like syncBeat, but only corrections below 153 analysis steps, taking the smaller
    // of aligning either deck's beat: used during a mix, where a jump would be heard.
    // On grids: only corrections the lock would take long over (a millisecond or more).
    void softSyncBeat(int deck);
    // Pitch synced, the deck started, then its beat synced.
    void magicSync(int deck);

    // Output frames the last beat sync moved a deck by (0: none since forgetLastShift).
    int32_t lastBeatShift() const { return lastBeatShift_; }
    void forgetLastShift() { lastBeatShift_ = 0; }

    static bool bothDecksOpen(const DeskContext& context);

    // Every display refresh: the phase lock's measure and trim.
    void holdPhase() { lock_.tick(); }
    // The DJ moved a deck by hand: a lock keeps the new distance.
    void movedByHand() {
        if (lock_.follower() >= 0) lock_.retarget();
    }
    const PhaseLock& phaseLock() const { return lock_; }

private:
    DeskContext& context_;
    // Aligns the deck on the other's grid; false when either has no grid (or position).
    bool syncOnGrid(int deck, bool soft);

    DeskFaders& faders_;
    PhaseLock lock_;
    int32_t lastBeatShift_ = 0;
};

}  // namespace spinlorex
