#include "desk/GridPhase.h"

#include <algorithm>
#include <cmath>

#include "audio/AudioFormat.h"
#include "audio/DeckStream.h"

namespace spinlorex {

const GridSection* gridSectionAt(const BeatGrid& grid, double seconds) {
    if (grid.sections.empty()) return nullptr;
    const auto after =
        std::upper_bound(grid.sections.begin(), grid.sections.end(), seconds,
                         [](double t, const GridSection& section) { return t < section.start; });
    return after == grid.sections.begin() ? &grid.sections.front() : &*(after - 1);
}

std::optional<HeardBeat> heardBeat(const DeckStream& deck) {
    const TrackEntry* track = deck.track();
    if (track == nullptr || track->record == nullptr || !track->record->grid) return {};
    const float position = deck.position();
    const int64_t frames = deck.trackFrames();
    if (position < 0.0f || frames <= 0) return {};
    const double seconds =
        static_cast<double>(position) * static_cast<double>(frames) / kSampleRate;
    const GridSection* section = gridSectionAt(*track->record->grid, seconds);
    if (section == nullptr || !(section->beatLength > 0.0)) return {};
    const double beats = (seconds - section->firstBeat) / section->beatLength;
    const double pitch = deck.pitch();
    const double speed = (pitch + deck.pitchTrim()) / kNormalPitch;
    return HeardBeat{beats - std::floor(beats), section->beatLength / speed,
                     section->beatLength * kNormalPitch / pitch};
}

double beatOffsetSeconds(const HeardBeat& follower, const HeardBeat& leader) {
    const double offset = follower.secondsToNextBeat() - leader.secondsToNextBeat();
    const double beat = std::min(follower.beatSeconds, leader.beatSeconds);
    return offset - beat * std::round(offset / beat);
}

}  // namespace spinlorex
