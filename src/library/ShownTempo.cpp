#include "library/ShownTempo.h"

#include <array>
#include <cmath>

namespace spinlorex {
namespace {

constexpr std::array<double, 5> kMisreadings = {1.0, 1.5, 2.0 / 3.0, 2.0, 0.5};
constexpr double kSameTempo = 0.03;

}  // namespace

float shownTempo(float analysedBpm, const BeatGrid& grid, double trackSeconds) {
    const double gridBpm = grid.mainBpm(trackSeconds);
    if (grid.fit < kConfidentGridFit || gridBpm <= 0.0 || analysedBpm <= 0.0) return analysedBpm;
    for (double ratio : kMisreadings)
        if (std::abs(analysedBpm / (gridBpm * ratio) - 1.0) <= kSameTempo)
            return static_cast<float>(gridBpm);
    return analysedBpm;
}

}  // namespace spinlorex
