// The auto-mix: the mix button's decisions, the 200 ms steps of a mix and the
// automatic-mixing switch.

#include "desk/AutoMix.h"

#include "audio/AudioFormat.h"
#include "audio/Crossfader.h"
#include "desk/DeskFaders.h"
#include "desk/DeskPanels.h"
#include "desk/DeskSync.h"
#include "platform/settings/Settings.h"

namespace spinlorex {

namespace {
constexpr int32_t kMixTickMs = 200;
constexpr int32_t kHoldStep = 42;  // step while the crossfader rests in the middle
}  // namespace

AutoMix::AutoMix(DeskContext& context, DeskFaders& faders, DeskSync& sync, DeskPanels& panels)
    : context_(context), faders_(faders), sync_(sync), panels_(panels) {}

void AutoMix::mixNow() {
    if (running_) {
        stopMix();
        return;
    }
    DeskLibrary& library = context_.links.library;
    const int s = panels_.selectedDeck();
    const int o = 1 - s;
    DeckStream& sel = context_.deck(s);
    DeckStream& oth = context_.deck(o);
    // A deck still loading takes play() and a mix as soon as it holds its track.
    const auto valid = [](const DeckStream& ds) { return ds.position() >= 0.0f || ds.loading(); };
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
        } else if (library.loadNextFromPlaylist(o)) {
            context_.deck(o).play();
        }
        return;
    }
    if (sel.playing() != oth.playing()) {
        const int incoming = sel.playing() ? o : s;
        DeckStream& in = context_.deck(incoming);
        if (valid(in)) {
            startMix(incoming);
        } else if (open(in)) {
            in.cycleCue();
            startMix(incoming);
        } else if (library.loadNextFromPlaylist(incoming)) {
            startMix(incoming);
        }
        return;
    }
    // Both play: towards the deck the crossfader favours less.
    const int32_t crossfader = faders_.crossfader();
    if (crossfader < kCrossfaderMiddle)
        startMix(1);
    else if (crossfader > kCrossfaderMiddle)
        startMix(0);
    else
        startMix(s);
}

void AutoMix::startMix(int d) {
    if (d != 0 && d != 1) return;
    DeckStream& in = context_.deck(d);
    if (in.loading()) {
        waitingFor_ = d;
        return;
    }
    waitingFor_ = -1;
    if (in.position() < 0.0f) return;
    if (running_) context_.links.timers.kill(DeskTimers::kMixStep);
    // A mix leaves the outgoing track where it goes on, not round a loop.
    context_.deck(1 - d).endLoop();
    if (get(settings().autoBpm) != 0) sync_.syncPitch(d);
    faders_.setCrossfader(d == 0 ? kCrossfaderMax : 0);  // the outgoing side
    in.play();
    step_ = 0;
    hold_ = get(settings().longMix);
    target_ = d;
    context_.deck(1 - d).setMixedOut(true);
    if (panels_.mixVisible()) context_.links.view.drawControl(ctl::Mix, true);
    context_.links.timers.start(DeskTimers::kMixStep, kMixTickMs);
    running_ = true;
}

void AutoMix::onLoadEnded(int d, bool loaded) {
    if (waitingFor_ != d) return;
    if (loaded)
        startMix(d);
    else if (!context_.deck(d).loading())  // no next track of the playlist either
        waitingFor_ = -1;
}

void AutoMix::stopMix() {
    waitingFor_ = -1;
    context_.links.timers.kill(DeskTimers::kMixStep);
    running_ = false;
    if (panels_.mixVisible()) context_.links.view.drawControl(ctl::Mix, false);
}

void AutoMix::killTimer() {
    if (running_) context_.links.timers.kill(DeskTimers::kMixStep);
    running_ = false;
}

void AutoMix::tick() {
    sync_.forgetLastShift();
    // 16 ramp steps, LongMix + 1 ticks held at the middle, then 16 more steps.
    if (step_ == 16) step_ = kHoldStep;
    if (step_ != kHoldStep)
        ++step_;
    else if (hold_ > 0)
        --hold_;
    else
        step_ = 17;

    const int target = target_;
    const int outgoing = 1 - target;
    // Half-way: the keys and the mix button now act on the deck being faded out.
    if (step_ == 16) panels_.selectDeck(outgoing);

    if (step_ == 1)
        sync_.syncBeat(target);
    else if (step_ <= 16)
        sync_.softSyncBeat(target);
    else
        sync_.softSyncBeat(outgoing);

    if (step_ < 33) faders_.setCrossfader(target == 0 ? 12 * (32 - step_) : 12 * step_);

    if (step_ != 32) return;
    stopMix();
    if (get(settings().autoMix) != 0 && !context_.links.library.loadNextFromPlaylist(outgoing))
        context_.deck(outgoing).finish();
    if (get(settings().autoZPitch) != 0 && context_.deck(target).pitch() != kNormalPitch)
        faders_.startPitchReset(target);
}

void AutoMix::toggleAutoMix() {
    const bool on = get(settings().autoMix) == 0;
    set(settings().autoMix, on ? 1 : 0);
    context_.handOverDeckOptions();
    if (on) {
        DeskLibrary& library = context_.links.library;
        const int s = panels_.selectedDeck();
        const auto empty = [this](int d) {
            return context_.deck(d).position() < 0.0f && !context_.deck(d).loading();
        };
        if (empty(s)) library.loadNextFromPlaylist(s);
        if (empty(1 - s)) library.loadNextFromPlaylist(1 - s);
    }
    context_.links.view.drawControl(ctl::AutoMixSwitch, on);
}

void AutoMix::onStartDeck(int d) {
    if (d != 0 && d != 1) return;
    // The sound thread repeats the request on every pass until the mix marks the playing
    // deck; the repeats still queued must not restart the mix that is already running.
    if (running_ && target_ == d) return;
    // Never while the playing deck loops: the DJ holds it there.
    if (context_.deck(1 - d).looping()) return;
    startMix(d);
}

void AutoMix::onTrackEnded(int d) {
    if (d != 0 && d != 1) return;
    if (get(settings().autoMix) != 0) context_.links.library.loadNextFromPlaylist(d);
}

}  // namespace spinlorex
