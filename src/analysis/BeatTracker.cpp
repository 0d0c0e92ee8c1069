#include "analysis/BeatTracker.h"

#include <algorithm>
#include <cmath>
#include <numeric>

namespace spinlorex {
namespace {

// How dearly the chain pays for a spacing off the period, per squared log of the ratio,
// in onset standard deviations: 7 % off costs about one.
constexpr double kTightness = 200.0;

}  // namespace

std::vector<int32_t> trackBeats(const std::vector<float>& onsets, double period) {
    const auto n = static_cast<int32_t>(onsets.size());
    const auto shortest = static_cast<int32_t>(std::lround(period * 0.8));
    const auto longest = static_cast<int32_t>(std::lround(period * 1.25));
    if (period <= 0.0 || shortest < 2 || n <= longest) return {};

    double mean = std::accumulate(onsets.begin(), onsets.end(), 0.0) / n;
    double variance = 0.0;
    for (float o : onsets) variance += (o - mean) * (o - mean);
    const double deviation = std::sqrt(variance / n);
    if (deviation <= 0.0) return {};

    std::vector<float> penalty(static_cast<size_t>(longest + 1), 0.0f);
    for (int32_t d = shortest; d <= longest; ++d) {
        const double stray = std::log(d / period);
        penalty[static_cast<size_t>(d)] = static_cast<float>(-kTightness * stray * stray);
    }
    // score[m]: the best chain ending with a beat at m; from[m]: the beat before it, or -1.
    std::vector<float> score(static_cast<size_t>(n));
    std::vector<int32_t> from(static_cast<size_t>(n), -1);
    for (int32_t m = 0; m < n; ++m) {
        float best = 0.0f;  // a chain may begin anywhere
        int32_t before = -1;
        for (int32_t d = shortest; d <= std::min(longest, m); ++d) {
            const float s = score[static_cast<size_t>(m - d)] + penalty[static_cast<size_t>(d)];
            if (s > best) {
                best = s;
                before = m - d;
            }
        }
        score[static_cast<size_t>(m)] =
            static_cast<float>(onsets[static_cast<size_t>(m)] / deviation) + best;
        from[static_cast<size_t>(m)] = before;
    }
    // The chain ends within the last period with the best score.
    int32_t last = n - longest;
    for (int32_t m = n - longest; m < n; ++m)
        if (score[static_cast<size_t>(m)] > score[static_cast<size_t>(last)]) last = m;
    std::vector<int32_t> beats;
    for (int32_t m = last; m >= 0; m = from[static_cast<size_t>(m)]) beats.push_back(m);
    std::reverse(beats.begin(), beats.end());
    return beats;
}

}  // namespace spinlorex
