#include "library/ShownTempo.h"

#include <array>
#include <cmath>

namespace spinlorex {
namespace {

// The analyser's tempo against the grid's. It reads no tempo above 163 BPM, so a fast
// track comes out at 2/3 of its beat; a grid at 2/3 of the analyser's is rather the
// grid's own slip (a swung beat), and is not believed over it.
constexpr std::array<double, 4> kMisreadings = {1.0, 2.0 / 3.0, 2.0, 0.5};
constexpr double kSameTempo = 0.03;

}  // namespace

float shownTempo(float analysedBpm, const BeatGrid& grid, double trackSeconds) {
    return grid.fit < kConfidentGridFit
               ? analysedBpm
               : shownTempo(analysedBpm, static_cast<float>(grid.mainBpm(trackSeconds)));
}

float shownTempo(float analysedBpm, float confidentGridBpm) {
    const double gridBpm = confidentGridBpm;
    if (gridBpm <= 0.0) return analysedBpm;
    if (analysedBpm <= 0.0) return static_cast<float>(gridBpm);  // the analyser found none
    for (double ratio : kMisreadings)
        if (std::abs(analysedBpm / (gridBpm * ratio) - 1.0) <= kSameTempo)
            return static_cast<float>(gridBpm);
    return analysedBpm;
}

float confidentGridBpm(const BeatGrid& grid) {
    return grid.fit >= kConfidentGridFit ? static_cast<float>(grid.mainBpm()) : 0.0f;
}

}  // namespace spinlorex
