#include "desk/GridPhase.h"

#include <algorithm>
#include <cmath>

#include "audio/AudioFormat.h"
#include "audio/DeckStream.h"

namespace spinlorex {

std::optional<HeardBeat> heardBeat(const DeckStream& deck) {
    const TrackEntry* track = deck.track();
    if (track == nullptr || track->record == nullptr || !track->record->grid) return {};
    const float position = deck.position();
    const int64_t frames = deck.trackFrames();
    if (position < 0.0f || frames <= 0) return {};
    const double seconds =
        static_cast<double>(position) * static_cast<double>(frames) / kSampleRate;
    const BeatGrid& grid = *track->record->grid;
    const GridSection* section = grid.sectionAt(seconds);
    if (section == nullptr || !(section->beatLength > 0.0)) return {};
    const double pitch = deck.pitch();
    const double speed = (pitch + deck.pitchTrim()) / kNormalPitch;
    return HeardBeat{grid.phaseAt(seconds), section->beatLength / speed,
                     section->beatLength * kNormalPitch / pitch};
}

double beatOffsetSeconds(const HeardBeat& follower, const HeardBeat& leader) {
    const double offset = follower.secondsToNextBeat() - leader.secondsToNextBeat();
    const double beat = std::min(follower.beatSeconds, leader.beatSeconds);
    return offset - beat * std::round(offset / beat);
}

}  // namespace spinlorex
