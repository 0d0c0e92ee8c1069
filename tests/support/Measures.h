#pragma once

#include <ostream>

#include "library/TrackMeasures.h"

namespace spinlorex {

// Failed comparisons of measures print their values.
inline void PrintTo(const TrackMeasures& m, std::ostream* out) {
    *out << "{bpm " << m.bpm << ", confidence " << m.bpmConfidence << ", first "
         << m.firstStrongBeat << " (" << m.firstStrongBeatLevel << "), last " << m.lastStrongBeat
         << " (" << m.lastStrongBeatLevel << "), peak " << m.peakLevel << ", loudness "
         << m.loudnessPeak << "}";
}

}  // namespace spinlorex
