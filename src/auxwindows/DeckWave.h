#pragma once

#include <cstdint>

#include "library/BeatGrid.h"
#include "library/HotCues.h"
#include "library/WaveformSummary.h"

namespace spinlorex {

class DeckStream;

// What one deck's waveform and overview show, read from the deck and its track's record:
// the summary, the beats, where the deck is heard and how fast it plays, its cue point.
struct DeckWave {
    WaveView view;
    const BeatGrid* grid = nullptr;
    int64_t trackFrames = 0;     // 0: no track
    double heardSeconds = 0;     // the track's second heard now
    double speed = 1;            // of the track, pitch and the phase lock's trim together
    double cueSeconds = -1;      // negative: none
    double playedFraction = -1;  // negative: no position
    double cueFraction = -1;
    HotCueSet hotCues;             // the track's
    double loopStartSeconds = -1;  // the loop the deck plays round; negative: none
    double loopEndSeconds = -1;
    bool operator==(const DeckWave& o) const;
};

// `live`: the summary still being made for the deck's track, shown while its record has
// none. Main thread (it reads the deck's track record).
DeckWave readDeckWave(const DeckStream& deck, const LiveWaveform* live);

}  // namespace spinlorex
