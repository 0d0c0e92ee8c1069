#pragma once

#include <cstdint>

#include "library/TrackRecord.h"

namespace spinlorex {

// What an analysis of a whole track measured: the tempo and the analysis values that
// `spinlorex-tool analyze` prints and stores. The cue point and the reserved word are the
// user's and the file's, never measured.
struct TrackMeasures {
    float bpm = 0.0f;
    int32_t bpmConfidence = 0;
    float firstStrongBeat = 0.0f;
    float lastStrongBeat = 0.0f;
    int32_t firstStrongBeatLevel = 0;
    int32_t lastStrongBeatLevel = 0;
    int32_t peakLevel = 1;
    int32_t loudnessPeak = 0;

    bool operator==(const TrackMeasures&) const = default;
};

// The measured values of an analysis block (and the tempo of its record).
TrackMeasures measuresOf(const TrackAnalysis& analysis);

// Puts measures into an analysis block and its record: the beat markers, levels and
// loudness always; the tempo and its confidence unless the tempo was set by hand or the
// measures found none. Only atomic stores: the sound thread may run this.
void adoptMeasures(TrackAnalysis& analysis, const TrackMeasures& measures);

// A tempo typed by the user into the block and its record: confidence kHandSetConfidence,
// so no measure replaces it; 0 (none) for a tempo outside 1..999, which clears it. Only
// atomic stores.
void setHandTempo(TrackAnalysis& analysis, float bpm);

}  // namespace spinlorex
