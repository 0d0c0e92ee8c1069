// The desk's frame: the parts wired together, start-up and skin changes, timers, the sound
// thread's messages, closing, drops, what the library asks of the decks and the display
// refresh.

#include "desk/MixingDesk.h"

#include <algorithm>

#include "audio/AudioFormat.h"
#include "audio/Crossfader.h"
#include "audio/OutputDevice.h"
#include "desk/BackgroundAnalysis.h"
#include "platform/settings/Settings.h"

namespace spinlorex {

MixingDesk::MixingDesk(Links links)
    : context_(links),
      faders_(context_),
      sync_(context_, faders_),
      panels_(context_, faders_),
      mix_(context_, faders_, sync_, panels_),
      transport_(context_, faders_, panels_, mix_),
      loops_({&context_.deck(0), &context_.deck(1)}),
      hotCues_({&context_.deck(0), &context_.deck(1)},
               [this](const TrackEntry& track) {
                   if (keepHotCues_) keepHotCues_(track);
               }),
      preview_(context_),
      input_(context_, {faders_, sync_, panels_, mix_, transport_, loops_, hotCues_, preview_}),
      jog_({&context_.deck(0), &context_.deck(1)}) {}

MixingDesk::~MixingDesk() = default;

void MixingDesk::initialise() {
    selectPanel(0);
    panels_.selectDeck(0);
    faders_.setCrossfader(kCrossfaderMiddle);
    faders_.initialiseFaderMode(context_.skin != nullptr && context_.skin->values.pitchLevel);
    for (int d = 0; d < 2; ++d) {
        faders_.setDeckLevel(d, 256);
        faders_.setDeckPitch(d, kNormalPitch);
    }
    context_.links.timers.start(DeskTimers::kDisplay, 100);
}

void MixingDesk::selectPanel(int panel) { panels_.selectPanel(panel, mix_.running()); }

void MixingDesk::applySkin(const SkinModel* skin) {
    context_.skin = skin;
    selectPanel(panels_.currentPanel());
    panels_.selectDeck(panels_.selectedDeck());
    DeskView& view = context_.links.view;
    for (int d = 0; d < 2; ++d) {
        view.drawDeckTitle(d, transport_.titleLine1(d), transport_.titleLine2(d));
        view.drawDeckInfo(d, deckInfo(d));
    }
    faders_.setCrossfader(faders_.crossfader());
    faders_.followSkin(skin != nullptr && skin->values.pitchLevel);
    for (int d = 0; d < 2; ++d) {
        faders_.setDeckLevel(d, faders_.deckLevel(d));
        faders_.setDeckPitch(d, context_.deck(d).pitch());
    }
    // Every face is drawn anew on the next refresh.
    drawnPlaying_.fill(-1);
}

void MixingDesk::closePreparation() {
    mix_.killTimer();
    transport_.killTimers();
    faders_.killTimers();
    context_.links.timers.kill(DeskTimers::kDisplay);
    preview_.stop();
}

// ---------------------------------------------------------------------------------------
// Timers and messages

void MixingDesk::onTimer(int id) {
    switch (id) {
        case DeskTimers::kMixStep:
            if (mix_.running()) mix_.tick();
            break;
        case DeskTimers::kHistory1:
        case DeskTimers::kHistory2:
            transport_.onHistoryTimer(id - DeskTimers::kHistory1);
            break;
        case DeskTimers::kDisplay:
            for (int d = 0; d < 2; ++d)
                if (jog_.takeNudge(d)) sync_.movedByHand();
            sync_.holdPhase();
            refreshDisplay();
            if (context_.analysis != nullptr) context_.analysis->pollLibrary();
            break;
        case DeskTimers::kPitchReset1:
        case DeskTimers::kPitchReset2:
            faders_.pitchResetTick(id - DeskTimers::kPitchReset1);
            break;
        default:
            break;
    }
}

void MixingDesk::onMessage(int message, int d) {
    if (d != 0 && d != 1) return;
    if (message == kMessageStartDeck) mix_.onStartDeck(d);
    if (message == kMessageTrackEnded) mix_.onTrackEnded(d);
}

bool MixingDesk::onCloseRequested() {
    if ((context_.deck(0).playing() || context_.deck(1).playing()) &&
        !context_.links.shell.askYesNo(kQuitQuestion))
        return false;
    closePreparation();
    return true;
}

// ---------------------------------------------------------------------------------------
// Loading from the library or a drop

bool MixingDesk::dropOntoDeck(int d, const TrackEntry& entry) {
    if (d != 0 && d != 1) return false;
    const DeckStream& target = context_.deck(d);
    if (target.playing() || target.awaitingStart()) {
        const int32_t rule = get(settings().babySecure);
        if (rule == 1) {
            if (!context_.links.shell.askYesNo(kReplaceQuestion)) return false;
        } else if (rule != 0) {
            return false;
        }
    }
    loadOntoDeck(d, entry);
    return true;
}

void MixingDesk::loadOntoDeck(int d, const TrackEntry& entry) { transport_.loadOntoDeck(d, entry); }

// ---------------------------------------------------------------------------------------
// What the decks and the library ask of the desk

void MixingDesk::setDeckPitch(int d, int32_t pitch) { faders_.setDeckPitch(d, pitch); }
void MixingDesk::setDeckLevel(int d, int32_t level) { faders_.setDeckLevel(d, level); }
int32_t MixingDesk::pitchMin() const { return faders_.pitchMin(); }
int32_t MixingDesk::pitchMax() const { return faders_.pitchMax(); }

void MixingDesk::setDeckStatus(int d, uint32_t status) {
    status_[deckIndex(d)].store(status, std::memory_order_relaxed);
}

bool MixingDesk::holdsTrack(int d) const {
    if (d != 0 && d != 1) return false;
    const DeckStream& ds = context_.deck(d);
    return ds.position() >= 0.0f || ds.loading();
}

bool MixingDesk::isBusy(int d) const {
    if (d != 0 && d != 1) return true;
    const DeckStream& ds = context_.deck(d);
    return ds.playing() || ds.awaitingStart();
}

bool MixingDesk::isAudible(int d) const {
    const OutputDevice* out = context_.output();
    return out != nullptr && out->isAudible(d);
}

const TrackEntry* MixingDesk::openTrack(int d) const {
    if ((d != 0 && d != 1) || context_.deck(d).duration() < 0) return nullptr;
    return context_.deck(d).track();
}

bool MixingDesk::askYesNo(const std::string& question) {
    return context_.links.shell.askYesNo(question);
}

bool MixingDesk::setTempoByHand(const TrackRecord* record, float bpm) {
    for (int d = 0; d < 2; ++d) {
        const TrackEntry* track = context_.deck(d).track();
        // Two decks holding one record share its block: one of them writes it.
        if (record != nullptr && track != nullptr && track->record == record &&
            context_.deck(d).setTempoByHand(bpm))
            return true;
    }
    return false;
}

LibraryRules MixingDesk::rules() const {
    return {get(settings().autoMix) != 0, get(settings().compatibleFirst) != 0,
            get(settings().babySecure)};
}

int MixingDesk::controlAt(int32_t x, int32_t y) const {
    const SkinModel* skin = context_.skin;
    return skin != nullptr ? hitTest(*skin, x, y, panels_.currentPanel(), faders_.faderMode())
                           : ctl::None;
}

int MixingDesk::selectedDeck() const { return panels_.selectedDeck(); }

// ---------------------------------------------------------------------------------------
// Display

void MixingDesk::refreshDisplay() {
    DeskView& view = context_.links.view;
    for (int d = 0; d < 2; ++d) {
        const DeckStream& ds = context_.deck(d);
        const TrackAnalysis* a = ds.analysis();
        view.drawDisc(d, ds.position(),
                      a != nullptr ? a->cuePoint.load(std::memory_order_relaxed) : 0.0f,
                      ds.duration() >= 0);
    }
    for (int d = 0; d < 2; ++d) view.drawDeckInfo(d, deckInfo(d));
    if (context_.skin != nullptr && context_.skin->values.playPause) {
        for (int d = 0; d < 2; ++d) {
            const int playing = context_.deck(d).playing() ? 1 : 0;
            int& drawn = drawnPlaying_[deckIndex(d)];
            if (playing == drawn) continue;
            drawn = playing;
            if (input_.pressedButton() >= 0) input_.releaseButton();
            // Play and pause share one spot: the face shows the next action.
            view.drawControl(playing != 0 ? ctl::Pause1 + d : ctl::Play1 + d, false);
        }
    }
    panels_.refreshRecording();
}

std::optional<MusicalKey> MixingDesk::currentKey(int d) const {
    const DeckStream& ds = context_.deck(d);
    const TrackEntry* track = ds.track();
    if (track == nullptr) return std::nullopt;
    auto key = trackKeyOf(track->record, track->tags.get());
    if (!key) return std::nullopt;
    if (!ds.options().masterTempo()) key = keyAtPitch(*key, ds.pitch());
    return key->transposed(keyShift(d));
}

DeckInfo MixingDesk::deckInfo(int d) const {
    const DeckStream& ds = context_.deck(d);
    DeckInfo info;
    info.status = status_[deckIndex(d)].load(std::memory_order_relaxed);
    info.duration = ds.duration();
    info.position = ds.position();
    info.pitch = ds.pitch();
    info.level = faders_.deckLevel(d);
    const TrackEntry* track = ds.track();
    info.trackBpm = track != nullptr && track->record != nullptr ? track->record->shownBpm() : 0.0f;
    info.localBpm = ds.analyser().localBpm();
    info.localLevel = ds.analyser().lastLoudness();
    if (const TrackAnalysis* a = ds.analysis()) {
        constexpr auto relaxed = std::memory_order_relaxed;
        info.cuePoint = a->cuePoint.load(relaxed);
        info.firstStrongBeat = a->firstStrongBeat.load(relaxed);
        info.lastStrongBeat = a->lastStrongBeat.load(relaxed);
        info.loudnessPeak = a->loudnessPeak.load(relaxed);
    }
    info.extended = input_.infoExtended();
    if (const auto key = currentKey(d)) {
        const auto notation =
            static_cast<KeyNotation>(std::clamp(get(settings().keyNotation), 0, 2));
        const std::string text = keyText(*key, notation);
        text.copy(info.key.data(), std::min(text.size(), info.key.size() - 1));
    }
    if (ds.looping()) {
        info.loopBeats = static_cast<float>(loops_.loopBeats(d));
        info.loopSeconds = static_cast<float>(ds.loopLength() / kSampleRate);
    }
    if (const int next = hotCues_.nextCue(d); next >= 0 && ds.trackFrames() > 0)
        info.nextHotCue = static_cast<float>(
            static_cast<double>(hotCues_.cues(d).cues[static_cast<size_t>(next)].frame) /
            static_cast<double>(ds.trackFrames()));
    return info;
}

}  // namespace spinlorex
