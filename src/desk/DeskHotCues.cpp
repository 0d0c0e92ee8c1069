#include "desk/DeskHotCues.h"

#include <memory>

#include "audio/DeckStream.h"
#include "desk/DeskLoops.h"

namespace spinlorex {

const HotCueSet& DeskHotCues::cues(int d) const {
    static const HotCueSet kNone;
    const TrackEntry* track = deck(d).track();
    if (track == nullptr || track->record == nullptr || !track->record->hotCues) return kNone;
    return *track->record->hotCues;
}

void DeskHotCues::press(int d, int slot) {
    if (slot < 0 || slot >= HotCueSet::kCount) return;
    DeckStream& ds = deck(d);
    const HotCue& cue = cues(d).cues[static_cast<size_t>(slot)];
    if (cue.set()) {
        ds.seekToFrame(cue.frame);
        return;
    }
    const std::optional<int64_t> heard = heardFrame(ds);
    if (!heard || ds.track() == nullptr || ds.track()->record == nullptr) return;
    const BeatGrid* grid = ds.track()->record->grid.get();
    change(d, slot, {snapToBeat(grid, *heard), hotCueColour(slot)});
}

void DeskHotCues::remove(int d, int slot) {
    if (slot < 0 || slot >= HotCueSet::kCount || !cues(d).cues[static_cast<size_t>(slot)].set())
        return;
    change(d, slot, HotCue{});
}

void DeskHotCues::change(int d, int slot, const HotCue& cue) {
    const TrackEntry* track = deck(d).track();
    if (track == nullptr || track->record == nullptr) return;
    // A new set each time: whoever still holds the old one (a writer) keeps it whole.
    auto changed = std::make_shared<HotCueSet>(cues(d));
    changed->cues[static_cast<size_t>(slot)] = cue;
    track->record->hotCues = std::move(changed);
    if (keep_) keep_(*track);
}

int DeskHotCues::nextCue(int d) const {
    const std::optional<int64_t> heard = heardFrame(deck(d));
    if (!heard) return -1;
    int next = -1;
    const HotCueSet& set = cues(d);
    for (int slot = 0; slot < HotCueSet::kCount; ++slot) {
        const HotCue& c = set.cues[static_cast<size_t>(slot)];
        if (c.set() && c.frame > *heard &&
            (next < 0 || c.frame < set.cues[static_cast<size_t>(next)].frame))
            next = slot;
    }
    return next;
}

}  // namespace spinlorex
