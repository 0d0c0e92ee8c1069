// Sync (pitch, level, beat, magic) and the auto-mix: the mix button's decisions, the
// 200 ms steps of a mix and the automatic-mixing switch.

#include <cstdlib>

#include "audio/Crossfader.h"
#include "audio/DeckPair.h"
#include "desk/MixingDesk.h"
#include "platform/settings/Settings.h"

namespace spinlorex {

namespace {
constexpr int32_t kMixTickMs = 200;
constexpr int32_t kHoldStep = 42;        // mixStep while the crossfader rests in the middle
constexpr int32_t kSoftSyncLimit = 153;  // steps: a larger correction is left alone
}  // namespace

void MixingDesk::syncPitch(int d) {
    stopPitchReset(d);
    deck(d).matchPitchToOtherDeck();
}

void MixingDesk::syncLevel(int d) { deck(d).matchLevelToOtherDeck(); }

void MixingDesk::syncBeat(int d) {
    if (!bothDecksOpen()) return;
    DeckStream& own = deck(d);
    const DeckStream& other = deck(1 - d);
    const int64_t ownPitch = own.pitch();
    const int64_t otherPitch = other.pitch();
    // d's next beat, counted in the other deck's analysis steps.
    const int64_t q = own.beatPhase() * otherPitch / ownPitch;
    const int64_t r = other.nearestBeat(static_cast<int32_t>(q));
    const int64_t s = -r * 4096 / otherPitch;
    lastBeatShift_ = static_cast<int32_t>(s * 36);
    own.shift(lastBeatShift_);
}

void MixingDesk::softSyncBeat(int d) {
    if (!bothDecksOpen()) return;
    DeckStream& own = deck(d);
    const DeckStream& other = deck(1 - d);
    const int64_t ownPitch = own.pitch();
    const int64_t otherPitch = other.pitch();
    const int64_t r1 =
        own.nearestBeat(static_cast<int32_t>(other.beatPhase() * ownPitch / otherPitch));
    const int64_t r2 =
        other.nearestBeat(static_cast<int32_t>(own.beatPhase() * otherPitch / ownPitch));
    const int64_t s2 = -r2 * 4096 / otherPitch;
    const int64_t v = std::llabs(r1) < std::llabs(s2) ? r1 : s2;
    // Only small corrections: a mix must never jump audibly.
    if (std::llabs(v) < kSoftSyncLimit) {
        lastBeatShift_ = static_cast<int32_t>(v * 36);
        own.shift(lastBeatShift_);
    }
}

void MixingDesk::magicSync(int d) {
    syncPitch(d);
    deck(d).play();
    syncBeat(d);
}

// ---------------------------------------------------------------------------------------
// Auto-mix

void MixingDesk::mixNow() {
    if (mixRunning_) {
        stopMix();
        return;
    }
    const int s = selectedDeck_;
    const int o = 1 - s;
    DeckStream& sel = deck(s);
    DeckStream& oth = deck(o);
    const auto valid = [](const DeckStream& ds) { return ds.position() >= 0.0f; };
    const auto open = [](const DeckStream& ds) { return ds.duration() >= 0; };

    if (!sel.playing() && !oth.playing()) {
        // Nothing plays: start something, without a crossfade.
        if (valid(oth)) {
            oth.play();
        } else if (valid(sel)) {
            sel.play();
        } else if (open(oth)) {
            oth.cycleCue();
            oth.play();
        } else if (open(sel)) {
            sel.cycleCue();
            sel.play();
        } else if (links_.library.loadNextFromPlaylist(o)) {
            deck(o).play();
        }
        return;
    }
    if (sel.playing() != oth.playing()) {
        const int incoming = sel.playing() ? o : s;
        DeckStream& in = deck(incoming);
        if (valid(in)) {
            startMix(incoming);
        } else if (open(in)) {
            in.cycleCue();
            startMix(incoming);
        } else if (links_.library.loadNextFromPlaylist(incoming)) {
            startMix(incoming);
        }
        return;
    }
    // Both play: towards the deck the crossfader favours less.
    if (crossfader_ < kCrossfaderMiddle)
        startMix(1);
    else if (crossfader_ > kCrossfaderMiddle)
        startMix(0);
    else
        startMix(s);
}

void MixingDesk::startMix(int d) {
    if (d != 0 && d != 1) return;
    DeckStream& in = deck(d);
    if (in.position() < 0.0f) return;
    if (mixRunning_) links_.timers.kill(DeskTimers::kMixStep);
    if (get(settings().autoBpm) != 0) syncPitch(d);
    setCrossfader(d == 0 ? kCrossfaderMax : 0);  // the outgoing side
    in.play();
    mixStep_ = 0;
    mixHold_ = get(settings().longMix);
    mixTarget_ = d;
    deck(1 - d).setMixedOut(true);
    if (mixVisible()) links_.view.drawControl(ctl::Mix, true);
    links_.timers.start(DeskTimers::kMixStep, kMixTickMs);
    mixRunning_ = true;
}

void MixingDesk::stopMix() {
    links_.timers.kill(DeskTimers::kMixStep);
    mixRunning_ = false;
    if (mixVisible()) links_.view.drawControl(ctl::Mix, false);
}

void MixingDesk::mixTick() {
    lastBeatShift_ = 0;
    // 16 ramp steps, LongMix + 1 ticks held at the middle, then 16 more steps.
    if (mixStep_ == 16) mixStep_ = kHoldStep;
    if (mixStep_ != kHoldStep)
        ++mixStep_;
    else if (mixHold_ > 0)
        --mixHold_;
    else
        mixStep_ = 17;

    const int target = mixTarget_;
    const int outgoing = 1 - target;
    // Half-way: the keys and the mix button now act on the deck being faded out.
    if (mixStep_ == 16) selectDeck(outgoing);

    if (mixStep_ == 1)
        syncBeat(target);
    else if (mixStep_ <= 16)
        softSyncBeat(target);
    else
        softSyncBeat(outgoing);

    if (mixStep_ < 33) setCrossfader(target == 0 ? 12 * (32 - mixStep_) : 12 * mixStep_);

    if (mixStep_ != 32) return;
    stopMix();
    if (get(settings().autoMix) != 0 && !links_.library.loadNextFromPlaylist(outgoing))
        deck(outgoing).finish();
    if (get(settings().autoZPitch) != 0 && deck(target).pitch() != 4096) startPitchReset(target);
}

void MixingDesk::toggleAutoMix() {
    const bool on = get(settings().autoMix) == 0;
    set(settings().autoMix, on ? 1 : 0);
    if (on) {
        const int s = selectedDeck_;
        if (deck(s).position() < 0.0f) links_.library.loadNextFromPlaylist(s);
        if (deck(1 - s).position() < 0.0f) links_.library.loadNextFromPlaylist(1 - s);
    }
    links_.view.drawControl(ctl::AutoMixSwitch, on);
}

}  // namespace spinlorex
