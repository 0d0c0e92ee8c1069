#pragma once

#include <cstdint>

#include "desk/DeskContext.h"

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
    // The deck's next beat onto the other deck's nearest beat (both decks open).
    void syncBeat(int deck);
    // Like syncBeat, but only corrections below 153 analysis steps, taking the smaller
    // of aligning either deck's beat: used during a mix, where a jump would be heard.
    void softSyncBeat(int deck);
    // Pitch synced, the deck started, then its beat synced.
    void magicSync(int deck);

    // Output frames the last beat sync moved a deck by (0: none since forgetLastShift).
    int32_t lastBeatShift() const { return lastBeatShift_; }
    void forgetLastShift() { lastBeatShift_ = 0; }

    static bool bothDecksOpen(const DeskContext& context);

private:
    DeskContext& context_;
    DeskFaders& faders_;
    int32_t lastBeatShift_ = 0;
};

}  // namespace spinlorex
