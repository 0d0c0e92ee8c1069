#pragma once

#include <cstdint>
#include <vector>

#include "library/BeatGrid.h"

namespace spinlorex {

// Fits a track's beat grid to its level (OnsetEnvelope::levels(), 44100 Hz): the tempo a
// DJ counts (BeatPeriod.h), the beats followed through the track (BeatTracker.h), each
// beat timed at the attack of its sound to a fraction of a millisecond, and straight
// lines through those attacks by least squares, a new section wherever the beats leave
// the line for good. The grid's beats are where the attacks are heard, within a tenth of
// a millisecond on steady electronic music. No sections when no steady beat explains the
// attacks; `fit` says how many of the grid's beats have an attack on them.
BeatGrid fitBeatGrid(const std::vector<uint16_t>& levels);

}  // namespace spinlorex
