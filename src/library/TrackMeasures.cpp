#include "library/TrackMeasures.h"

namespace spinlorex {
namespace {
constexpr auto relaxed = std::memory_order_relaxed;
}

TrackMeasures measuresOf(const TrackAnalysis& a) {
    TrackMeasures m;
    m.bpm = a.owner != nullptr ? a.owner->currentBpm() : 0.0f;
    m.bpmConfidence = a.bpmConfidence.load(relaxed);
    m.firstStrongBeat = a.firstStrongBeat.load(relaxed);
    m.lastStrongBeat = a.lastStrongBeat.load(relaxed);
    m.firstStrongBeatLevel = a.firstStrongBeatLevel.load(relaxed);
    m.lastStrongBeatLevel = a.lastStrongBeatLevel.load(relaxed);
    m.peakLevel = a.peakLevel.load(relaxed);
    m.loudnessPeak = a.loudnessPeak.load(relaxed);
    return m;
}

void adoptMeasures(TrackAnalysis& a, const TrackMeasures& m) {
    a.firstStrongBeat.store(m.firstStrongBeat, relaxed);
    a.lastStrongBeat.store(m.lastStrongBeat, relaxed);
    a.firstStrongBeatLevel.store(m.firstStrongBeatLevel, relaxed);
    a.lastStrongBeatLevel.store(m.lastStrongBeatLevel, relaxed);
    a.peakLevel.store(m.peakLevel, relaxed);
    a.loudnessPeak.store(m.loudnessPeak, relaxed);
    // A tempo typed by the user stays; so does an estimate when the whole track gave none.
    if (a.bpmConfidence.load(relaxed) == TrackAnalysis::kHandSetConfidence || m.bpmConfidence <= 0)
        return;
    if (a.owner != nullptr) a.owner->bpm.store(m.bpm, relaxed);
    a.bpmConfidence.store(m.bpmConfidence, relaxed);
}

void setHandTempo(TrackAnalysis& a, float bpm) {
    if (a.owner != nullptr) {
        a.owner->bpm.store(bpm, relaxed);
        a.owner->gridBpm.store(0.0f, relaxed);  // what the user typed is what the desk shows
    }
    a.bpmConfidence.store(bpm > 1.0f && bpm < 999.0f ? TrackAnalysis::kHandSetConfidence : 0,
                          relaxed);
}

}  // namespace spinlorex
