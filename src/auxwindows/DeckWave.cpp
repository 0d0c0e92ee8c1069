#include "auxwindows/DeckWave.h"

#include <algorithm>

#include "audio/AudioFormat.h"
#include "audio/DeckStream.h"

namespace spinlorex {

bool DeckWave::operator==(const DeckWave& o) const {
    return view.columns == o.view.columns && view.count == o.view.count &&
           view.columnFrames == o.view.columnFrames && view.peak == o.view.peak && grid == o.grid &&
           trackFrames == o.trackFrames && heardSeconds == o.heardSeconds && speed == o.speed &&
           cueSeconds == o.cueSeconds && playedFraction == o.playedFraction &&
           cueFraction == o.cueFraction && hotCues == o.hotCues &&
           loopStartSeconds == o.loopStartSeconds && loopEndSeconds == o.loopEndSeconds;
}

DeckWave readDeckWave(const DeckStream& deck, const LiveWaveform* live) {
    DeckWave w;
    const TrackEntry* track = deck.track();
    if (track == nullptr || deck.loading()) return w;
    const TrackRecord* record = track->record;
    if (record != nullptr && record->waveform)
        w.view = WaveView::of(*record->waveform);
    else if (live != nullptr)
        w.view = WaveView::of(*live);
    if (record != nullptr && record->grid && !record->grid->empty()) w.grid = record->grid.get();
    w.trackFrames = deck.trackFrames();
    const double seconds = static_cast<double>(w.trackFrames) / kSampleRate;
    const float position = deck.position();
    // Without a position (the track ended) the play line stands at the end.
    w.heardSeconds = position >= 0.0f ? position * seconds : (deck.duration() >= 0 ? seconds : 0);
    w.playedFraction = position >= 0.0f ? position : (deck.duration() >= 0 ? 1.0 : -1.0);
    w.speed = std::clamp(deck.pitch() + deck.pitchTrim(), DeckStream::kLowestPitch,
                         DeckStream::kHighestPitch) /
              double{kNormalPitch};
    if (record != nullptr && record->hotCues) w.hotCues = *record->hotCues;
    if (deck.looping()) {
        w.loopStartSeconds = static_cast<double>(deck.loopStart()) / kSampleRate;
        w.loopEndSeconds = w.loopStartSeconds + deck.loopLength() / kSampleRate;
    }
    if (const TrackAnalysis* analysis = deck.analysis()) {
        w.cueFraction = analysis->cuePoint.load(std::memory_order_relaxed);
        w.cueSeconds = w.cueFraction * seconds;
    }
    return w;
}

}  // namespace spinlorex
