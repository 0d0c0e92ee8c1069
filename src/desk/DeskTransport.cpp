// Deck transport: loading, play/pause, the cue buttons, beat skips and the history timers.

#include "desk/DeskTransport.h"

#include "audio/AudioFormat.h"
#include "audio/TrackOpener.h"
#include "desk/AutoMix.h"
#include "desk/BackgroundAnalysis.h"
#include "desk/DeskFaders.h"
#include "desk/DeskPanels.h"
#include "desk/DeskSync.h"

namespace spinlorex {

namespace {
constexpr int32_t kHistoryDelayMs = 40000;
}  // namespace

DeskTransport::DeskTransport(DeskContext& context, DeskFaders& faders, DeskPanels& panels,
                             AutoMix& mix)
    : context_(context), faders_(faders), panels_(panels), mix_(mix) {}

void DeskTransport::loadOntoDeck(int d, const TrackEntry& entry) {
    if (d != 0 && d != 1) return;
    if (mix_.running()) mix_.stopMix();
    if (faders_.pitchResetRunning(d)) faders_.stopPitchReset(d);

    DeckTitle& s = state_[deckIndex(d)];
    s.artist = entry.artist;
    s.title = entry.title;
    // The track replaced before its 40 s never enters the history.
    if (s.historyRunning) context_.links.timers.kill(DeskTimers::kHistory1 + d);
    s.historyRunning = false;

    DeckStream& deck = context_.deck(d);
    TrackOpener* opener = context_.opener;
    if (opener == nullptr) {
        const bool loaded = deck.loadTrack(entry);
        context_.links.view.drawDeckTitle(d, s.artist, s.title);
        panels_.selectDeck(d);
        endLoad(d, loaded);
        return;
    }
    deck.beginLoad(entry);
    if (context_.analysis != nullptr) context_.analysis->deckLoaded(d);
    context_.links.view.drawDeckTitle(d, s.artist, s.title);
    panels_.selectDeck(d);
    redrawCueMark(d);
    opener->open(d, entry.path);
}

void DeskTransport::collectOpenedTracks() {
    TrackOpener* opener = context_.opener;
    if (opener == nullptr) return;
    TrackOpener::Opened opened;
    while (opener->take(opened)) {
        const int d = opened.deck;
        const TrackEntry* held = context_.deck(d).track();
        if (held == nullptr || held->path != opened.path) continue;
        endLoad(d, context_.deck(d).completeLoad(std::move(opened.reader), opened.seconds));
    }
}

void DeskTransport::endLoad(int d, bool loaded) {
    if (context_.analysis != nullptr) context_.analysis->deckLoaded(d);
    // A track enters the history after 40 s on the deck.
    DeckTitle& s = state_[deckIndex(d)];
    context_.links.timers.start(DeskTimers::kHistory1 + d, kHistoryDelayMs);
    s.historyRunning = true;
    redrawCueMark(d);
    if (!loaded) {
        const TrackEntry* failed = context_.deck(d).track();
        if (failed != nullptr) context_.links.library.loadFailed(d, failed->path);
    }
    mix_.onLoadEnded(d, loaded);
}

void DeskTransport::onHistoryTimer(int d) {
    context_.links.library.addToHistory(d);
    context_.links.timers.kill(DeskTimers::kHistory1 + d);
    state_[deckIndex(d)].historyRunning = false;
}

void DeskTransport::killTimers() {
    for (int d = 0; d < 2; ++d) {
        DeckTitle& s = state_[deckIndex(d)];
        if (s.historyRunning) context_.links.timers.kill(DeskTimers::kHistory1 + d);
        s.historyRunning = false;
    }
}

void DeskTransport::redrawCueMark(int d) {
    const DeckStream& ds = context_.deck(d);
    const TrackAnalysis* a = ds.analysis();
    context_.links.view.redrawCueMark(
        d, a != nullptr ? a->cuePoint.load(std::memory_order_relaxed) : 0.0f, ds.duration() >= 0);
}

void DeskTransport::playPause(int d) {
    if (mix_.running()) mix_.stopMix();
    DeckStream& ds = context_.deck(d);
    if (ds.playing())
        ds.pause();
    else
        ds.play();
}

void DeskTransport::stopButton(int d) {
    if (mix_.running()) mix_.stopMix();
    DeckStream& ds = context_.deck(d);
    const SkinModel* skin = context_.skin;
    if (skin != nullptr && skin->values.cueStop && !ds.playing()) {
        ds.storeCue();
        redrawCueMark(d);
        return;
    }
    ds.cycleCue();
}

void DeskTransport::cueButton(int d) {
    DeckStream& ds = context_.deck(d);
    const SkinModel* skin = context_.skin;
    if (skin != nullptr && skin->values.cueStop && ds.playing()) {
        // With "CueStop" the two buttons swap roles while the deck plays; this one never
        // ends a running mix.
        ds.cycleCue();
        return;
    }
    ds.storeCue();
    redrawCueMark(d);
}

void DeskTransport::skipBeat(int d) {
    if (!DeskSync::bothDecksOpen(context_)) return;
    DeckStream& ds = context_.deck(d);
    const TrackEntry* track = ds.track();
    float bpm = track != nullptr && track->record != nullptr ? track->record->shownBpm() : 0.0f;
    if (!(bpm >= 1.0f && bpm <= 999.0f)) bpm = 120.0f;
    // One beat in analysis steps, then in output frames at the deck's pitch.
    const auto steps = static_cast<int64_t>(73500.0f / bpm);
    ds.shift(static_cast<int32_t>(steps * kStepFrames * kNormalPitch / ds.pitch()));
}

}  // namespace spinlorex
