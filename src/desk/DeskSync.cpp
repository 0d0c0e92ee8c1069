// Sync of pitch, level and beat, and the magic sync.

#include "desk/DeskSync.h"

#include <cmath>
#include <cstdlib>

#include "audio/AudioFormat.h"
#include "desk/DeskFaders.h"

namespace spinlorex {

namespace {
constexpr int32_t kSoftSyncLimit = 153;  // steps: a larger correction is left alone
// On grids, a mix's step leaves smaller distances to the phase lock.
constexpr int32_t kSoftGridShift = kSampleRate / 1000;
}  // namespace

DeskSync::DeskSync(DeskContext& context, DeskFaders& faders)
    : context_(context), faders_(faders), lock_(context) {}

bool DeskSync::syncOnGrid(int d, bool soft) {
    const std::optional<PhaseLock::Measure> m = PhaseLock::measure(context_, d);
    if (!m) return false;
    const auto shift = static_cast<int32_t>(std::lround(m->offset * kSampleRate));
    const bool tooFar = soft && std::abs(shift) >= kSoftSyncLimit * kStepFrames;
    if (!tooFar && (!soft || std::abs(shift) >= kSoftGridShift)) {
        lastBeatShift_ = shift;
        if (shift != 0) context_.deck(d).shift(shift);
    }
    if (lock_.follower() != d || !soft) lock_.engage(d);
    return true;
}

bool DeskSync::bothDecksOpen(const DeskContext& context) {
    return context.deck(0).duration() >= 0 && context.deck(1).duration() >= 0;
}

void DeskSync::syncPitch(int d) {
    faders_.stopPitchReset(d);
    context_.deck(d).matchPitchToOtherDeck();
}

void DeskSync::syncLevel(int d) { context_.deck(d).matchLevelToOtherDeck(); }

void DeskSync::syncBeat(int d) {
    if (!bothDecksOpen(context_)) return;
    if (syncOnGrid(d, false)) return;
    lock_.release();  // the onsets now decide where the beats are
    DeckStream& own = context_.deck(d);
    const DeckStream& other = context_.deck(1 - d);
    const int64_t ownPitch = own.pitch();
    const int64_t otherPitch = other.pitch();
    // d's next beat, counted in the other deck's analysis steps.
    const int64_t q = own.beatPhase() * otherPitch / ownPitch;
    const int64_t r = other.nearestBeat(static_cast<int32_t>(q));
    const int64_t s = -r * kNormalPitch / otherPitch;
    lastBeatShift_ = static_cast<int32_t>(s * kStepFrames);
    own.shift(lastBeatShift_);
}

void DeskSync::softSyncBeat(int d) {
    if (!bothDecksOpen(context_)) return;
    if (syncOnGrid(d, true)) return;
    lock_.release();
    DeckStream& own = context_.deck(d);
    const DeckStream& other = context_.deck(1 - d);
    const int64_t ownPitch = own.pitch();
    const int64_t otherPitch = other.pitch();
    const int64_t r1 =
        own.nearestBeat(static_cast<int32_t>(other.beatPhase() * ownPitch / otherPitch));
    const int64_t r2 =
        other.nearestBeat(static_cast<int32_t>(own.beatPhase() * otherPitch / ownPitch));
    const int64_t s2 = -r2 * kNormalPitch / otherPitch;
    const int64_t v = std::llabs(r1) < std::llabs(s2) ? r1 : s2;
    // Only small corrections: a mix must never jump audibly.
    if (std::llabs(v) < kSoftSyncLimit) {
        lastBeatShift_ = static_cast<int32_t>(v * kStepFrames);
        own.shift(lastBeatShift_);
    }
}

void DeskSync::magicSync(int d) {
    syncPitch(d);
    context_.deck(d).play();
    syncBeat(d);
}

}  // namespace spinlorex
