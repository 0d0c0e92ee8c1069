#include "library/BeatGrid.h"

#include <cmath>

namespace spinlorex {

double GridSection::nearestBeat(double seconds) const {
    return firstBeat + std::round(beatsAt(seconds)) * beatLength;
}

const GridSection* BeatGrid::sectionAt(double seconds) const {
    if (sections.empty()) return nullptr;
    const GridSection* found = &sections.front();
    for (const GridSection& section : sections)
        if (section.start <= seconds) found = &section;
    return found;
}

double BeatGrid::phaseAt(double seconds) const {
    const GridSection* section = sectionAt(seconds);
    if (section == nullptr) return -1.0;
    const double beats = section->beatsAt(seconds);
    return beats - std::floor(beats);
}

double BeatGrid::mainBpm(double trackSeconds) const {
    double longest = -1.0, bpm = 0.0;
    for (size_t i = 0; i < sections.size(); ++i) {
        const double end = i + 1 < sections.size() ? sections[i + 1].start : trackSeconds;
        if (end - sections[i].start > longest) {
            longest = end - sections[i].start;
            bpm = sections[i].bpm();
        }
    }
    return bpm;
}

}  // namespace spinlorex
