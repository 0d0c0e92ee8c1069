#include "analysis/BeatGridFit.h"

#include <algorithm>
#include <cmath>
#include <optional>

#include "analysis/BeatPeriod.h"
#include "analysis/BeatTracker.h"
#include "analysis/OnsetEnvelope.h"
#include "analysis/OnsetStrength.h"

namespace spinlorex {
namespace {

constexpr double kFrameRate = 44100.0;
constexpr double kLevelSeconds = OnsetEnvelope::kHopFrames / kFrameRate;
constexpr double kOnsetSeconds = kOnsetHopFrames / kFrameRate;

constexpr int32_t kStepLevels = 8;      // an attack is a step up in level over 2.9 ms
constexpr int32_t kSearchLevels = 40;   // looked for within 14.5 ms of the tracked beat
constexpr int32_t kAfterLevels = 22;    // 8 ms of sound after an attack
constexpr int32_t kBeforeLevels = 44;   // against 16 ms before it
constexpr float kClearContrast = 0.2f;  // (after - before) / (after + before) of a clear attack
// An attack is timed where the level has risen by this share of its step: low on the rise,
// near where the sound begins, but above the ripple of what sounds before it.
constexpr double kCrossing = 0.2;
constexpr int32_t kSeedBeats = 8;  // clear attacks evenly spaced that start a section
constexpr int32_t kMaxMisses = 4;  // clear attacks off the line in a row that end it
constexpr int32_t kMinSectionBeats = 16;
// Of a beat: how far off its line an attack may lie (a drummer strays by 10-15 ms; the
// line through many hits is still good to a fraction of a millisecond).
constexpr double kTolerance = 0.035;
constexpr float kMinFit = 0.5f;        // below this the track has no steady beat
constexpr double kSlowestBeat = 70.0;  // BPM: a slower beat is counted twice as fast
constexpr double kWeakOffBeat = 0.5;   // every other beat this much weaker: half the tempo

struct Attack {
    double time = 0.0;      // seconds
    float contrast = 0.0f;  // -1..1
    float rise = 0.0f;      // in level units
};

// The attack nearest level hop `around`: the step up in level that is largest over
// 2.9 ms either side, timed where the level crosses halfway between before and after
// (interpolated between hops).
std::optional<Attack> attackNear(const std::vector<uint16_t>& levels, int32_t around) {
    const auto size = static_cast<int32_t>(levels.size());
    const int32_t lo = std::max(kStepLevels, around - kSearchLevels);
    const int32_t hi = std::min(size - kStepLevels, around + kSearchLevels);
    if (lo >= hi) return std::nullopt;
    const auto level = [&](int32_t n) {
        return static_cast<double>(levels[static_cast<size_t>(n)]);
    };

    double after = 0.0, before = 0.0;
    for (int32_t j = 0; j < kStepLevels; ++j) {
        after += level(lo + j);
        before += level(lo - 1 - j);
    }
    int32_t step = lo;
    double bestRise = after - before;
    for (int32_t n = lo + 1; n < hi; ++n) {
        after += level(n + kStepLevels - 1) - level(n - 1);
        before += level(n - 1) - level(n - 1 - kStepLevels);
        if (after - before > bestRise) {
            bestRise = after - before;
            step = n;
        }
    }
    double low = 0.0, high = 0.0;
    for (int32_t j = 0; j < kStepLevels; ++j) {
        low += level(step - 1 - j);
        high = std::max(high, level(step + j));
    }
    low /= kStepLevels;
    if (high <= low) return std::nullopt;
    const double half = low + kCrossing * (high - low);
    int32_t j = step;
    while (j > step - kStepLevels + 1 && level(j - 1) >= half) --j;
    while (j < step + kStepLevels - 1 && level(j) < half) ++j;
    const double rise = level(j) - level(j - 1);
    const double fraction = rise > 0.0 ? std::clamp((half - level(j - 1)) / rise, 0.0, 1.0) : 1.0;
    // How clearly the sound starts there: the level just after against the level before,
    // each over long enough that the swell of held notes evens out.
    double sustained = 0.0, previous = 0.0;
    for (int32_t n = j; n < std::min(size, j + kAfterLevels); ++n) sustained += level(n);
    for (int32_t n = std::max(0, step - kBeforeLevels); n < step; ++n) previous += level(n);
    sustained /= kAfterLevels;
    previous /= kBeforeLevels;
    // Level hop n covers frames [16 n, 16 n + 16): its value stands for its middle.
    return Attack{(j - 0.5 + fraction) * kLevelSeconds,
                  static_cast<float>((sustained - previous) / (sustained + previous + 1.0)),
                  static_cast<float>(sustained - previous)};
}

// A straight line t = origin + a + b k by least squares.
class Line {
public:
    explicit Line(double origin) : origin_(origin) {}
    void add(int64_t k, double t) {
        const auto x = static_cast<double>(k);
        const double y = t - origin_;
        ++n_;
        sk_ += x;
        st_ += y;
        skk_ += x * x;
        skt_ += x * y;
        const double d = n_ * skk_ - sk_ * sk_;
        if (n_ >= 2 && d > 0.0) {
            b_ = (n_ * skt_ - sk_ * st_) / d;
            a_ = (st_ - b_ * sk_) / n_;
        } else {
            a_ = y - b_ * x;
        }
    }
    void setSlope(double b) { b_ = b; }
    double at(int64_t k) const { return origin_ + a_ + b_ * static_cast<double>(k); }
    double slope() const { return b_; }
    int64_t nearestIndex(double t) const { return std::llround((t - origin_ - a_) / b_); }

private:
    double origin_;
    double n_ = 0.0, sk_ = 0.0, st_ = 0.0, skk_ = 0.0, skt_ = 0.0;
    double a_ = 0.0, b_ = 1.0;
};

struct Member {
    int64_t k;
    double t;
    float rise;
};

// Clear attacks on one steady beat.
struct Run {
    Line line;
    std::vector<Member> members;
};

Line lineThrough(const std::vector<Member>& members, double slopeGuess) {
    Line line(members.front().t);
    line.setSlope(slopeGuess);
    for (const Member& m : members) line.add(m.k, m.t);
    return line;
}

double median(std::vector<double> values) {
    std::nth_element(values.begin(), values.begin() + static_cast<ptrdiff_t>(values.size() / 2),
                     values.end());
    return values[values.size() / 2];
}

// A line through kSeedBeats clear attacks from `first` on, when they are evenly spaced
// about a beat apart.
std::optional<Run> seedAt(const std::vector<Attack>& attacks, size_t first, double beat) {
    if (first + kSeedBeats > attacks.size()) return std::nullopt;
    std::vector<double> gaps;
    for (size_t i = first + 1; i < first + kSeedBeats; ++i)
        gaps.push_back(attacks[i].time - attacks[i - 1].time);
    const double spacing = median(gaps);
    if (spacing < 0.8 * beat || spacing > 1.25 * beat) return std::nullopt;
    std::vector<Member> members;
    for (size_t i = first; i < first + kSeedBeats; ++i) {
        const int64_t k = std::llround((attacks[i].time - attacks[first].time) / spacing);
        if (!members.empty() && k <= members.back().k) return std::nullopt;
        members.push_back({k, attacks[i].time, attacks[i].rise});
    }
    Run run{lineThrough(members, spacing), members};
    for (const Member& m : members)
        if (std::abs(m.t - run.line.at(m.k)) > kTolerance * run.line.slope()) return std::nullopt;
    return run;
}

// Lines through the clear attacks: each begins where kSeedBeats of them are evenly spaced
// and takes every later one that lies on it, until kMaxMisses in a row do not.
std::vector<Run> steadyRuns(const std::vector<Attack>& attacks, double beat) {
    std::vector<Run> runs;
    size_t i = 0;
    while (i + kSeedBeats <= attacks.size()) {
        std::optional<Run> run = seedAt(attacks, i, beat);
        if (!run) {
            ++i;
            continue;
        }
        size_t last = i + kSeedBeats - 1;
        int32_t misses = 0;
        for (size_t j = last + 1; j < attacks.size() && misses < kMaxMisses; ++j) {
            const double t = attacks[j].time;
            const int64_t k = run->line.nearestIndex(t);
            if (k > run->members.back().k &&
                std::abs(t - run->line.at(k)) <= kTolerance * run->line.slope()) {
                run->members.push_back({k, t, attacks[j].rise});
                run->line.add(k, t);
                last = j;
                misses = 0;
            } else {
                ++misses;
            }
        }
        // Once more without the attacks far off the line (robustly: a few attacks of other
        // sounds that fell near it must not widen the limit).
        std::vector<double> offsets;
        for (const Member& m : run->members) offsets.push_back(std::abs(m.t - run->line.at(m.k)));
        const double limit = std::max(0.001, 6.0 * median(offsets));
        std::vector<Member> kept;
        for (const Member& m : run->members)
            if (std::abs(m.t - run->line.at(m.k)) <= limit) kept.push_back(m);
        if (static_cast<int32_t>(kept.size()) >= kMinSectionBeats)
            runs.push_back({lineThrough(kept, run->line.slope()), kept});
        i = last + 1;
    }
    return runs;
}

// Joins neighbouring runs that are one beat: the same beat length, the later one's
// attacks on the earlier one's line (a break, a fill or a beatless bridge between them).
std::vector<Run> joined(std::vector<Run> runs) {
    std::vector<Run> out;
    for (Run& run : runs) {
        if (!out.empty()) {
            Run& previous = out.back();
            const double beat = previous.line.slope();
            const Member& first = run.members.front();
            const int64_t k = previous.line.nearestIndex(first.t);
            if (std::abs(run.line.slope() - beat) < 0.002 * beat &&
                std::abs(first.t - previous.line.at(k)) <= kTolerance * beat) {
                const int64_t shift = k - first.k;
                for (const Member& m : run.members)
                    previous.members.push_back({m.k + shift, m.t, m.rise});
                previous.line = lineThrough(previous.members, beat);
                continue;
            }
        }
        out.push_back(std::move(run));
    }
    return out;
}

// The steady runs of clear attacks on the beats followed at `period` onset hops.
std::vector<Run> runsAt(const std::vector<uint16_t>& levels, const std::vector<float>& onsets,
                        double period) {
    std::vector<Attack> clear;
    for (int32_t beat : trackBeats(onsets, period)) {
        // Onset hop m stands for a rise in the level hops just before it.
        const int32_t around = beat * kOnsetHopLevels - kOnsetHopLevels / 2;
        const std::optional<Attack> attack = attackNear(levels, around);
        if (attack && attack->contrast >= kClearContrast &&
            (clear.empty() || attack->time > clear.back().time))
            clear.push_back(*attack);
    }
    return joined(steadyRuns(clear, period * kOnsetSeconds));
}

// Every other beat of the longest run is much weaker or mostly missing: a kick with
// off-beats between, counted twice too fast.
bool everyOtherBeatIsWeak(const std::vector<Run>& runs) {
    const auto longest = std::max_element(runs.begin(), runs.end(), [](const Run& a, const Run& b) {
        return a.members.size() < b.members.size();
    });
    std::vector<double> rises[2];
    for (const Member& m : longest->members) rises[m.k & 1].push_back(m.rise);
    if (rises[0].empty() || rises[1].empty()) return true;
    double weight[2];
    for (int p = 0; p < 2; ++p)
        weight[p] = static_cast<double>(rises[p].size()) * std::max(0.0, median(rises[p]));
    return std::min(weight[0], weight[1]) < kWeakOffBeat * std::max(weight[0], weight[1]);
}

}  // namespace

BeatGrid fitBeatGrid(const std::vector<uint16_t>& levels) {
    const std::vector<float> onsets = onsetStrength(levels);
    const double period = beatPeriod(onsets, kOnsetSeconds);
    std::vector<Run> runs = runsAt(levels, onsets, period);
    if (runs.empty()) return {};
    if (60.0 / (2.0 * period * kOnsetSeconds) >= kSlowestBeat && everyOtherBeatIsWeak(runs)) {
        std::vector<Run> slower = runsAt(levels, onsets, 2.0 * period);
        if (!slower.empty()) runs = std::move(slower);
    }

    // The share of the grid's beats, from the first clear attack on it to the last, that
    // have one.
    double predicted = 0.0, matched = 0.0;
    for (size_t r = 0; r < runs.size(); ++r) {
        const Run& run = runs[r];
        predicted += static_cast<double>(run.members.back().k - run.members.front().k + 1);
        matched += static_cast<double>(run.members.size());
        if (r + 1 < runs.size()) {
            const double gap = runs[r + 1].members.front().t - run.members.back().t;
            predicted += std::max(0.0, std::round(gap / run.line.slope()) - 1.0);
        }
    }
    BeatGrid grid;
    grid.length = static_cast<double>(levels.size()) * kLevelSeconds;
    grid.fit = static_cast<float>(matched / predicted);
    if (grid.fit < kMinFit) return grid;

    for (size_t r = 0; r < runs.size(); ++r) {
        const Run& run = runs[r];
        GridSection section;
        section.beatLength = run.line.slope();
        if (r == 0) {
            section.start = 0.0;
            const int64_t k = run.line.nearestIndex(0.0);
            section.firstBeat = run.line.at(run.line.at(k) < 0.0 ? k + 1 : k);
        } else {
            // The beat where the tempo changes lies on both lines and went to the earlier
            // run; it is the first of the new tempo.
            const double lastBefore =
                runs[r - 1].members.back().t - kTolerance * section.beatLength;
            int64_t k = run.members.front().k;
            while (run.line.at(k - 1) >= lastBefore) --k;
            section.firstBeat = run.line.at(k);
            // From halfway between the last beat of the section before and this one's first.
            const GridSection& previous = grid.sections.back();
            section.start = std::max(section.firstBeat - 0.5 * previous.beatLength,
                                     std::nextafter(previous.start, section.firstBeat));
        }
        grid.sections.push_back(section);
    }
    return grid;
}

}  // namespace spinlorex
