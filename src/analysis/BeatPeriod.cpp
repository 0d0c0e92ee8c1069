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

}  // namespace

double beatPeriod(const std::vector<float>& onsets, double hopSeconds) {
    const std::vector<double> e = paired(onsets);
    const double hop = 2.0 * hopSeconds;
    const auto lagOf = [&](double bpm) { return 60.0 / bpm / hop; };
    const auto minLag = static_cast<int32_t>(std::floor(lagOf(kFastestSearched)));
    const auto maxLag = static_cast<int32_t>(std::ceil(lagOf(kSlowestSearched)));
    const auto n = static_cast<int32_t>(e.size());
    if (n < 4 * maxLag) return 0.0;

    // Autocorrelation per lag, each term averaged so long lags are not penalised.
    std::vector<double> ac(static_cast<size_t>(maxLag + 2), 0.0);
    for (int32_t lag = minLag - 1; lag <= maxLag + 1; ++lag) {
        double sum = 0.0;
        const double* a = e.data();
        const double* b = e.data() + lag;
        for (int32_t i = 0; i < n - lag; ++i) sum += a[i] * b[i];
        ac[static_cast<size_t>(lag)] = sum / (n - lag);
    }
    const auto at = [&](int32_t lag) { return ac[static_cast<size_t>(lag)]; };

    int32_t best = minLag;
    for (int32_t lag = minLag; lag <= maxLag; ++lag)
        if (at(lag) > at(best)) best = lag;
    if (at(best) <= 0.0) return 0.0;

    // Each related reading: the strongest lag within 4 % of it, to a fraction of a hop.
    double chosenLag = 0.0, chosenValue = 0.0, strongest = 0.0;
    struct Reading {
        double lag, value;
    };
    std::array<Reading, kRelated.size()> readings{};
    for (size_t r = 0; r < kRelated.size(); ++r) {
        const double target = best * kRelated[r];
        readings[r] = {0.0, 0.0};
        if (target < lagOf(kFastestBeat) || target > lagOf(kSlowestBeat)) continue;
        const auto lo = std::max(minLag, static_cast<int32_t>(std::floor(target * 0.96)));
        const auto hi = std::min(maxLag, static_cast<int32_t>(std::ceil(target * 1.04)));
        int32_t peak = lo;
        for (int32_t lag = lo; lag <= hi; ++lag)
            if (at(lag) > at(peak)) peak = lag;
        const double left = at(peak - 1), mid = at(peak), right = at(peak + 1);
        const double curve = left - 2.0 * mid + right;
        const double shift =
            curve < 0.0 ? std::clamp(0.5 * (left - right) / curve, -0.5, 0.5) : 0.0;
        // A sharp peak between two lags splits over both: weigh it with its neighbours.
        const double value = mid + std::max(0.0, std::max(left, right));
        readings[r] = {peak + shift, value};
        strongest = std::max(strongest, value);
    }
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
