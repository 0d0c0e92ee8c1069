#include "library/ShownTempo.h"

#include <array>
#include <cmath>

namespace spinlorex {
namespace {

// The analyser's tempo against the grid's where it misreads the beat: it reads no tempo
// above 163 BPM, so a fast track comes out at 2/3 of its beat; on swung and syncopated
// drums it counts the triplets or the kicks' own spacing (3/2, 4/3, 6/5 of the beat).
// The grid weighs each reading by the bar's repetition as well, which these patterns
// do not share.
struct Misreading {
    double ratio, tolerance;
};
// The octave and 2/3 misreadings come out of the analyser's coarse steps up to 3 % off;
// the swing ones are held closer, so that an unrelated tempo is seldom taken for one.
constexpr std::array<Misreading, 9> kMisreadings = {{{1.0, 0.03},
                                                     {2.0, 0.03},
                                                     {0.5, 0.03},
                                                     {2.0 / 3.0, 0.03},
                                                     {1.5, 0.015},
                                                     {4.0 / 3.0, 0.015},
                                                     {3.0 / 4.0, 0.015},
                                                     {6.0 / 5.0, 0.015},
                                                     {5.0 / 6.0, 0.015}}};

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
    for (const Misreading& m : kMisreadings)
        if (std::abs(analysedBpm / (gridBpm * m.ratio) - 1.0) <= m.tolerance)
            return static_cast<float>(gridBpm);
    return analysedBpm;
}

float confidentGridBpm(const BeatGrid& grid) {
    return grid.fit >= kConfidentGridFit ? static_cast<float>(grid.mainBpm()) : 0.0f;
}

}  // namespace spinlorex
