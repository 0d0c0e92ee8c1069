#pragma once

#include <optional>

#include "desk/DeskContext.h"
#include "desk/GridPhase.h"

namespace spinlorex {

// Keeps two playing decks' beats together once they were synced on their grids: every
// display refresh it measures how far the follower's beats are from the leader's and
// trims the follower's speed by a few pitch units (a quarter of a thousandth each, far
// below a pitch anyone hears) until they meet. A nudge by hand sets the distance the lock
// keeps instead of being fought back. It lets go when a deck stops, loses its grid or is
// pitched away from the other's tempo.
//
// Main thread only.
class PhaseLock {
public:
    explicit PhaseLock(DeskContext& context);

    // Deck `follower` keeps its beats on the other deck's, at the distance they have now.
    void engage(int follower);
    // The follower plays on at its own pitch, untrimmed.
    void release();
    // -1 when not engaged.
    int follower() const { return follower_; }
    // The follower was moved by hand: the distance after the move is the one kept.
    void retarget() { retargetPending_ = true; }
    // Every display refresh.
    void tick();

    // Both decks' heard beats, read as of one sound pass, and how much later the
    // follower's next beat is heard than the other deck's (seconds).
    struct Measure {
        HeardBeat follower, leader;
        double offset = 0.0;
    };
    // None unless both decks' tracks have grids and the decks positions.
    static std::optional<Measure> measure(const DeskContext& context, int follower);

private:
    DeskContext& context_;
    int follower_ = -1;
    double target_ = 0.0;  // the offset kept, seconds
    bool retargetPending_ = false;
};

}  // namespace spinlorex
