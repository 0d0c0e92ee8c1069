// Deck transport: loading, play/pause, the cue buttons, beat skips, pitch and level with
// their sliders, the pitch-reset glide, the pitch range and the selected deck.

#include <algorithm>

#include "audio/DeckPair.h"
#include "audio/OutputDevice.h"
#include "desk/BackgroundAnalysis.h"
#include "desk/MixingDesk.h"
#include "platform/settings/Settings.h"

namespace spinlorex {

namespace {
constexpr int32_t kNormalPitch = 4096;
constexpr int32_t kHistoryDelayMs = 40000;
constexpr int32_t kPitchResetMs = 500;
}  // namespace

int32_t MixingDesk::pitchMin() const { return pitchMin_; }
int32_t MixingDesk::pitchMax() const { return pitchMax_; }

void MixingDesk::applyPitchRange() {
    const bool narrow = get(settings().limitPitch) != 0;
    pitchMin_ = narrow ? 3768 : 2730;
    pitchMax_ = narrow ? 4424 : 5462;
}

void MixingDesk::togglePitchRange() {
    set(settings().limitPitch, get(settings().limitPitch) != 0 ? 0 : 1);
    applyPitchRange();
    drawOptionsPanel();
    // Each deck's pitch is clamped into the new range (and its knob moves to match).
    for (int d = 0; d < 2; ++d) setDeckPitch(d, deck(d).pitch());
}

void MixingDesk::loadOntoDeck(int d, const TrackEntry& entry) {
    if (d != 0 && d != 1) return;
    if (mixRunning_) stopMix();
    DeckState& s = state_[index(d)];
    if (s.pitchResetRunning) stopPitchReset(d);
    deck(d).loadTrack(entry);
    if (analysis_ != nullptr) analysis_->deckLoaded(d);

    s.artist = entry.artist;
    s.title = entry.title;
    links_.view.drawDeckTitle(d, s.artist, s.title);

    // A track enters the history after 40 s on the deck; one replaced sooner never does.
    if (s.historyRunning) links_.timers.kill(DeskTimers::kHistory1 + d);
    links_.timers.start(DeskTimers::kHistory1 + d, kHistoryDelayMs);
    s.historyRunning = true;

    selectDeck(d);
    redrawCueMark(d);
}

void MixingDesk::redrawCueMark(int d) {
    const DeckStream& ds = deck(d);
    const TrackAnalysis* a = ds.analysis();
    links_.view.redrawCueMark(d, a != nullptr ? a->cuePoint.load(std::memory_order_relaxed) : 0.0f,
                              ds.duration() >= 0);
}

void MixingDesk::playPause(int d) {
    if (mixRunning_) stopMix();
    DeckStream& ds = deck(d);
    if (ds.playing())
        ds.pause();
    else
        ds.play();
}

void MixingDesk::stopButton(int d) {
    if (mixRunning_) stopMix();
    DeckStream& ds = deck(d);
    if (skin_ != nullptr && skin_->values.cueStop && !ds.playing()) {
        ds.storeCue();
        redrawCueMark(d);
        return;
    }
    ds.cycleCue();
}

void MixingDesk::cueButton(int d) {
    DeckStream& ds = deck(d);
    if (skin_ != nullptr && skin_->values.cueStop && ds.playing()) {
        // With "CueStop" the two buttons swap roles while the deck plays; this one never
        // ends a running mix.
        ds.cycleCue();
        return;
    }
    ds.storeCue();
    redrawCueMark(d);
}

bool MixingDesk::bothDecksOpen() const {
    return deck(0).duration() >= 0 && deck(1).duration() >= 0;
}

void MixingDesk::skipBeat(int d) {
    if (!bothDecksOpen()) return;
    DeckStream& ds = deck(d);
    const TrackEntry* track = ds.track();
    float bpm = track != nullptr && track->record != nullptr ? track->record->currentBpm() : 0.0f;
    if (!(bpm >= 1.0f && bpm <= 999.0f)) bpm = 120.0f;
    // One beat in 36-frame analysis steps, then in output frames at the deck's pitch.
    const auto steps = static_cast<int64_t>(73500.0f / bpm);
    ds.shift(static_cast<int32_t>(steps * 147456 / ds.pitch()));
}

void MixingDesk::setDeckPitch(int d, int32_t pitch) {
    if (d != 0 && d != 1) return;
    pitch = std::clamp(pitch, pitchMin_, pitchMax_);
    deck(d).setPitch(pitch);
    DeckState& s = state_[index(d)];
    const int32_t old = s.pitchSlider;
    s.pitchSlider = (pitch - pitchMin_) * 256 / (pitchMax_ - pitchMin_);
    if (faderMode_ != 1) links_.view.drawSliderKnob(ctl::Pitch1 + d, old, s.pitchSlider);
}

void MixingDesk::setDeckLevel(int d, int32_t level) {
    if (d != 0 && d != 1) return;
    level = std::clamp(level, int32_t{0}, int32_t{256});
    deck(d).setLevel(level);
    DeckState& s = state_[index(d)];
    s.level = level;
    const int32_t old = s.levelSlider;
    s.levelSlider = 256 - level;
    if (faderMode_ != 0) links_.view.drawSliderKnob(ctl::Level1 + d, old, s.levelSlider);
}

// ---------------------------------------------------------------------------------------
// Pitch reset: a glide back to normal speed, 16/4096 every half second

void MixingDesk::drawResetLamp(int d, bool on) {
    // The reset buttons are hidden while the sliders show the volume.
    if (faderMode_ != 1) links_.view.drawControl(ctl::ResetPitch1 + d, on);
}

void MixingDesk::startPitchReset(int d) {
    links_.timers.start(DeskTimers::kPitchReset1 + d, kPitchResetMs);
    state_[index(d)].pitchResetRunning = true;
    drawResetLamp(d, true);
}

void MixingDesk::stopPitchReset(int d) {
    links_.timers.kill(DeskTimers::kPitchReset1 + d);
    state_[index(d)].pitchResetRunning = false;
    drawResetLamp(d, false);
}

void MixingDesk::resetPitchButton(int d) {
    if (!state_[index(d)].pitchResetRunning) {
        startPitchReset(d);
        return;
    }
    stopPitchReset(d);
    setDeckPitch(d, kNormalPitch);
}

void MixingDesk::pitchResetTick(int d) {
    int32_t p = deck(d).pitch();
    if (p < 4080)
        p += 16;
    else if (p < 4113)
        p = kNormalPitch;
    else
        p -= 16;
    setDeckPitch(d, p);
    if (deck(d).pitch() == kNormalPitch) stopPitchReset(d);
}

void MixingDesk::selectDeck(int d) {
    if (d != 0 && d != 1) return;
    selectedDeck_ = d;
    if (OutputDevice* out = output()) out->deckSelected(d);
    links_.view.drawControl(ctl::Platine1 + d, true);
    links_.view.drawControl(ctl::Platine1 + (1 - d), false);
}

}  // namespace spinlorex
