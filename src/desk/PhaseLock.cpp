#include "desk/PhaseLock.h"

#include <algorithm>
#include <cmath>

#include "audio/DeckStream.h"
#include "desk/GridPhase.h"

namespace spinlorex {

namespace {

// Trim units per millisecond off: 1 ms is made good in about a second (one unit moves
// the beats 0.24 ms a second).
constexpr double kUnitsPerMs = 4.0;
// Beat lengths further apart than this (relative) are no longer one tempo: the DJ
// pitched a deck away, and the trim could not hold it anyway.
constexpr double kTempoTolerance = 0.001;

bool sameTempo(const HeardBeat& a, const HeardBeat& b) {
    const double longer = std::max(a.beatAtPitch, b.beatAtPitch);
    const double shorter = std::min(a.beatAtPitch, b.beatAtPitch);
    const double ratio = longer / shorter;  // 1, or 2 for a track at double tempo
    return std::fabs(ratio / std::round(ratio) - 1.0) < kTempoTolerance;
}

}  // namespace

PhaseLock::PhaseLock(DeskContext& context) : context_(context) {}

std::optional<PhaseLock::Measure> PhaseLock::measure(const DeskContext& context, int follower) {
    const DeckStream& own = context.deck(follower);
    const DeckStream& other = context.deck(1 - follower);
    // The sound thread moves both positions one after the other: read until the first
    // is the same after the second was read.
    for (int attempt = 0; attempt < 4; ++attempt) {
        const float before = other.position();
        const std::optional<HeardBeat> f = heardBeat(own);
        const std::optional<HeardBeat> l = heardBeat(other);
        if (!f || !l) return {};
        if (other.position() == before || attempt == 3)
            return Measure{*f, *l, beatOffsetSeconds(*f, *l)};
    }
    return {};
}

void PhaseLock::engage(int follower) {
    if (follower_ >= 0 && follower_ != follower) release();
    follower_ = follower == 1 ? 1 : 0;
    target_ = 0.0;
    retargetPending_ = false;
}

void PhaseLock::release() {
    if (follower_ < 0) return;
    context_.deck(follower_).setPitchTrim(0);
    follower_ = -1;
}

void PhaseLock::tick() {
    if (follower_ < 0) return;
    DeckStream& own = context_.deck(follower_);
    const DeckStream& other = context_.deck(1 - follower_);
    if (!own.playing() || !other.playing()) {
        release();
        return;
    }
    const std::optional<Measure> m = measure(context_, follower_);
    if (!m || !sameTempo(m->follower, m->leader)) {
        release();
        return;
    }
    const HeardBeat& f = m->follower;
    const HeardBeat& l = m->leader;
    if (retargetPending_) {
        target_ = m->offset;
        retargetPending_ = false;
    }
    double error = m->offset - target_;
    const double beat = std::min(f.beatSeconds, l.beatSeconds);
    error -= beat * std::round(error / beat);
    // The pitch at which the follower's beats would last exactly as long as the leader's
    // (or half or twice as long): the desk's whole pitch steps leave a fraction of one,
    // which the trim makes good before it corrects the distance.
    const double ratio = f.beatAtPitch / l.beatSeconds;
    const double beats = ratio >= 1.0 ? std::round(ratio) : 1.0 / std::round(1.0 / ratio);
    const double pitch = own.pitch();
    const double matching = pitch * ratio / beats - pitch;
    const auto trim = static_cast<int32_t>(std::lround(matching + error * 1000.0 * kUnitsPerMs));
    own.setPitchTrim(std::clamp(trim, -DeckStream::kMaxPitchTrim, DeckStream::kMaxPitchTrim));
}

}  // namespace spinlorex
