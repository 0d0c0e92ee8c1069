// Sync of pitch, level and beat, and the magic sync.

#include "desk/DeskSync.h"

#include <cstdlib>

#include "audio/AudioFormat.h"
#include "desk/DeskFaders.h"

namespace spinlorex {

namespace {
constexpr int32_t kSoftSyncLimit = 153;  // steps: a larger correction is left alone
}  // namespace

DeskSync::DeskSync(DeskContext& context, DeskFaders& faders) : context_(context), faders_(faders) {}

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
