#pragma once

#include <array>
#include <cstdint>
#include <functional>

#include "library/HotCues.h"

namespace spinlorex {

class DeckStream;
struct TrackEntry;

// Each deck's hot cues as a DJ drives them: a press on a hot cue that is not set sets it at
// the heard point (on the grid's nearest beat when the track has a grid, else to the
// frame); on one that is set it jumps there at once (a playing deck plays on from there, a
// paused one waits there). A hot cue can be deleted. Every change goes to `keep` (the
// track store) with the track's whole set.
//
// Main thread only; the deck's calls block until the sound thread served them.
class DeskHotCues {
public:
    using Keep = std::function<void(const TrackEntry& track)>;

    DeskHotCues(std::array<DeckStream*, 2> decks, Keep keep)
        : decks_(decks), keep_(std::move(keep)) {}

    // Slot 0..7.
    void press(int deck, int slot);
    void remove(int deck, int slot);
    // The deck's track's hot cues (an empty set without a track or cues).
    const HotCueSet& cues(int deck) const;
    // The slot of the first hot cue after the heard point; -1 when none.
    int nextCue(int deck) const;

private:
    DeckStream& deck(int d) const { return *decks_[d == 1 ? 1 : 0]; }
    void change(int deck, int slot, const HotCue& cue);

    std::array<DeckStream*, 2> decks_;
    Keep keep_;
};

}  // namespace spinlorex
