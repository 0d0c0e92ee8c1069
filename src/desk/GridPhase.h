#pragma once

#include <optional>

#include "library/BeatGrid.h"

namespace spinlorex {

class DeckStream;

// Where a deck is in its track's beat, from the track's grid.
struct HeardBeat {
    double phase = 0.0;      // 0..1: the part of the beat already heard
    double beatSeconds = 0;  // one beat in heard time (the track's beat at the deck's speed)
    double beatAtPitch = 0;  // the same at the deck's pitch alone, without the lock's trim

    double secondsToNextBeat() const { return (1.0 - phase) * beatSeconds; }
};

// The heard beat of a playing or cued deck whose track has a grid; none without a grid,
// a track or a position. Main thread.
std::optional<HeardBeat> heardBeat(const DeckStream& deck);

// How much later `follower`'s next beat is heard than `leader`'s, in seconds, within
// half a beat either way (of the shorter beat, so a track at double tempo aligns every
// other beat). Moving the follower forward by it puts its beats on the leader's.
double beatOffsetSeconds(const HeardBeat& follower, const HeardBeat& leader);

}  // namespace spinlorex
