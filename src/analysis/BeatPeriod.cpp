#include "analysis/BeatPeriod.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <numeric>

namespace spinlorex {
namespace {

constexpr double kSlowestSearched = 50.0;  // BPM
constexpr double kFastestSearched = 220.0;
constexpr double kSlowestBeat = 70.0;
constexpr double kFastestBeat = 180.0;
// A faster reading wins when it repeats at least this well against the best reading.
constexpr double kFasterWins = 0.8;
constexpr double kBeatsInBar = 4.0;
constexpr std::array<double, 9> kRelated = {0.25, 1.0 / 3, 0.5, 2.0 / 3, 1.0, 1.5, 2.0, 3.0, 4.0};

// The onsets summed in pairs, less their mean: the repetition search needs no finer hops.
std::vector<double> paired(const std::vector<float>& onsets) {
    std::vector<double> out(onsets.size() / 2);
    for (size_t i = 0; i < out.size(); ++i) out[i] = onsets[2 * i] + onsets[2 * i + 1];
    const double mean = out.empty() ? 0.0
                                    : std::accumulate(out.begin(), out.end(), 0.0) /
                                          static_cast<double>(out.size());
    for (double& v : out) v -= mean;
    return out;
}

// The sum of a[i] * b[i] over `count` terms, in four running sums that the processor can
// keep going side by side.
double dot(const double* a, const double* b, int32_t count) {
    double sums[4] = {0.0, 0.0, 0.0, 0.0};
    int32_t i = 0;
    for (; i + 4 <= count; i += 4)
        for (int32_t k = 0; k < 4; ++k) sums[k] += a[i + k] * b[i + k];
    for (; i < count; ++i) sums[0] += a[i] * b[i];
    return (sums[0] + sums[1]) + (sums[2] + sums[3]);
}

}  // namespace

double beatPeriod(const std::vector<float>& onsets, double hopSeconds) {
    const std::vector<double> e = paired(onsets);
    const double hop = 2.0 * hopSeconds;
    const auto lagOf = [&](double bpm) { return 60.0 / bpm / hop; };
    const auto minLag = static_cast<int32_t>(std::floor(lagOf(kFastestSearched)));
    const auto maxLag = static_cast<int32_t>(std::ceil(lagOf(kSlowestSearched)));
    const auto barLag = static_cast<int32_t>(std::ceil(kBeatsInBar * lagOf(kSlowestBeat) * 1.05));
    const auto n = static_cast<int32_t>(e.size());
    if (n < 4 * maxLag || n < 2 * barLag) return 0.0;

    // Autocorrelation per lag, each term averaged so long lags are not penalised; worked
    // out when first asked for (the bar lags are only wanted near a few readings).
    std::vector<double> ac(static_cast<size_t>(barLag + 2), std::nan(""));
    const auto at = [&](int32_t lag) {
        double& value = ac[static_cast<size_t>(lag)];
        if (std::isnan(value)) value = dot(e.data(), e.data() + lag, n - lag) / (n - lag);
        return value;
    };

    int32_t best = minLag;
    for (int32_t lag = minLag; lag <= maxLag; ++lag)
        if (at(lag) > at(best)) best = lag;
    if (at(best) <= 0.0) return 0.0;

    // The strongest lag within `share` of `target`, to a fraction of a hop, and how strongly
    // the onsets repeat there (a sharp peak between two lags splits over both: it is
    // weighed with its stronger neighbour).
    struct Reading {
        double lag = 0.0, value = 0.0;
    };
    const auto peakNear = [&](double target, double share) {
        const auto lo = std::max(minLag, static_cast<int32_t>(std::floor(target * (1.0 - share))));
        const auto hi = std::min(barLag, static_cast<int32_t>(std::ceil(target * (1.0 + share))));
        int32_t peak = lo;
        for (int32_t lag = lo; lag <= hi; ++lag)
            if (at(lag) > at(peak)) peak = lag;
        const double left = at(peak - 1), mid = at(peak), right = at(peak + 1);
        const double curve = left - 2.0 * mid + right;
        const double shift =
            curve < 0.0 ? std::clamp(0.5 * (left - right) / curve, -0.5, 0.5) : 0.0;
        return Reading{peak + shift, mid + std::max(0.0, std::max(left, right))};
    };

    // Each related reading, scored by how well the onsets repeat a beat and a bar of four
    // such beats later: a pattern of kicks three half-beats apart repeats well at 3/2 of
    // the beat, but only the true beat has the bar's repetition four beats on.
    std::array<Reading, kRelated.size()> readings{};
    double strongest = 0.0;
    for (size_t r = 0; r < kRelated.size(); ++r) {
        const double target = best * kRelated[r];
        if (target < lagOf(kFastestBeat) || target > lagOf(kSlowestBeat)) continue;
        const Reading beat = peakNear(target, 0.04);
        const Reading bar = peakNear(kBeatsInBar * beat.lag, 0.01);
        readings[r] = {beat.lag, beat.value + std::max(0.0, bar.value)};
        strongest = std::max(strongest, readings[r].value);
    }
    double chosenLag = 0.0, chosenValue = 0.0;
    for (const Reading& reading : readings) {
        if (reading.lag <= 0.0 || reading.value < kFasterWins * strongest) continue;
        if (chosenLag == 0.0 || reading.lag < chosenLag) {
            chosenLag = reading.lag;
            chosenValue = reading.value;
        }
    }
    if (chosenValue <= 0.0) return 0.0;
    return 2.0 * chosenLag;
}

}  // namespace spinlorex
