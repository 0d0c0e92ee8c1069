#include "analysis/BeatTracker.h"

#include <algorithm>
#include <cmath>
#include <numeric>

namespace spinlorex {
namespace {

// How dearly the chain pays for a spacing off the period, per squared log of the ratio,
// in onset standard deviations: 7 % off costs about one.
constexpr double kTightness = 200.0;

// The chain searched on hops twice as long: a quarter of the work, and each beat then
// placed on the stronger of its two hops.
std::vector<int32_t> chain(const std::vector<float>& onsets, double period);

}  // namespace

std::vector<int32_t> trackBeats(const std::vector<float>& onsets, double period) {
    std::vector<float> paired(onsets.size() / 2);
    for (size_t i = 0; i < paired.size(); ++i) paired[i] = onsets[2 * i] + onsets[2 * i + 1];
    std::vector<int32_t> beats = chain(paired, 0.5 * period);
    for (int32_t& beat : beats) {
        const auto hop = static_cast<size_t>(2 * beat);
        beat = 2 * beat + (onsets[hop + 1] > onsets[hop] ? 1 : 0);
    }
    return beats;
}

namespace {

std::vector<int32_t> chain(const std::vector<float>& onsets, double period) {
    const auto n = static_cast<int32_t>(onsets.size());
    const auto shortest = static_cast<int32_t>(std::lround(period * 0.8));
    const auto longest = static_cast<int32_t>(std::lround(period * 1.25));
    if (period <= 0.0 || shortest < 2 || n <= longest) return {};

    double mean = std::accumulate(onsets.begin(), onsets.end(), 0.0) / n;
    double variance = 0.0;
    for (float o : onsets) variance += (o - mean) * (o - mean);
    const double deviation = std::sqrt(variance / n);
    if (deviation <= 0.0) return {};

    // ahead[longest - d]: what a gap of d hops costs, ordered by the earlier beat's hop.
    std::vector<float> ahead(static_cast<size_t>(longest + 1), 0.0f);
    for (int32_t d = shortest; d <= longest; ++d) {
        const double stray = std::log(d / period);
        ahead[static_cast<size_t>(longest - d)] = static_cast<float>(-kTightness * stray * stray);
    }
    // score[m]: the best chain ending with a beat at m; from[m]: the beat before it, or -1.
    std::vector<float> score(static_cast<size_t>(n));
    std::vector<int32_t> from(static_cast<size_t>(n), -1);
    for (int32_t m = 0; m < n; ++m) {
        // The best chain to extend (none: a chain may begin anywhere), the nearest one of
        // equals; found in two passes that need no branch per candidate.
        const int32_t first = std::max(0, m - longest);
        const int32_t count = m - shortest + 1 - first;
        const float* candidate = score.data() + first;
        const float* cost = ahead.data() + (first - (m - longest));  // the gap to m
        float lanes[8] = {};
        int32_t i = 0;
        for (; i + 8 <= count; i += 8)
            for (int32_t k = 0; k < 8; ++k)
                lanes[k] = std::max(lanes[k], candidate[i + k] + cost[i + k]);
        float best = *std::max_element(lanes, lanes + 8);
        for (; i < count; ++i) best = std::max(best, candidate[i] + cost[i]);
        int32_t before = -1;
        if (best > 0.0f)
            for (i = count - 1; i >= 0; --i)
                if (candidate[i] + cost[i] == best) {
                    before = first + i;
                    break;
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

}  // namespace

}  // namespace spinlorex
