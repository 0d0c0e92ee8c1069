#pragma once

#include "library/BeatGrid.h"

namespace spinlorex {

// A grid this good (BeatGrid::fit) is trusted over the beat analyser's tempo.
inline constexpr float kConfidentGridFit = 0.6f;

// The tempo a DJ is shown for a track of `trackSeconds`: the grid's main tempo when the
// grid is confident and the analyser's tempo agrees with it or is one of the usual
// misreadings of it (2/3, 2 or 1/2 of it, within 3 %) or found none; else the
// analyser's. A tempo set by hand (bpmConfidence == TrackAnalysis::kHandSetConfidence)
// wins over both: the caller shows it without asking here.
float shownTempo(float analysedBpm, const BeatGrid& grid, double trackSeconds);
// The same with the grid's main tempo already known (0: no grid the DJ may trust).
float shownTempo(float analysedBpm, float confidentGridBpm);
// The grid's main tempo when the grid is confident, else 0.
float confidentGridBpm(const BeatGrid& grid);

}  // namespace spinlorex
