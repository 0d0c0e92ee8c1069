// The desk's frame: construction and start-up state, panels, the display refresh, timers,
// the sound thread's messages, closing, drops and the options panel.

#include "desk/MixingDesk.h"

#include <algorithm>

#include "audio/AudioEngine.h"
#include "audio/Crossfader.h"
#include "audio/DeckPair.h"
#include "audio/OutputDevice.h"
#include "desk/BackgroundAnalysis.h"
#include "platform/settings/Settings.h"

namespace spinlorex {

MixingDesk::MixingDesk(Links links) : links_(links) {
    applyPitchRange();
    for (int d = 0; d < 2; ++d) {
        DeckState& s = state_[index(d)];
        s.pitchSlider = (4096 - pitchMin_) * 256 / (pitchMax_ - pitchMin_);
        s.levelSlider = 256 - s.level;
    }
}

MixingDesk::~MixingDesk() = default;

DeckStream& MixingDesk::deck(int d) const { return links_.decks[d == 1 ? 1 : 0]; }

OutputDevice* MixingDesk::output() const { return links_.engine.output(); }

const SkinControl& MixingDesk::control(int id) const {
    static const SkinControl kAbsent = SkinControl::absent(kMaskNever);
    return skin_ != nullptr ? skin_->control(id) : kAbsent;
}

void MixingDesk::initialise() {
    selectPanel(0);
    selectDeck(0);
    setCrossfader(kCrossfaderMiddle);
    if (skin_ != nullptr && skin_->values.pitchLevel)
        setFaderMode(1);
    else
        faderMode_ = -1;
    for (int d = 0; d < 2; ++d) {
        setDeckLevel(d, 256);
        setDeckPitch(d, 4096);
    }
    links_.timers.start(DeskTimers::kDisplay, 100);
}

void MixingDesk::applySkin(const SkinModel* skin) {
    skin_ = skin;
    selectPanel(currentPanel_);
    selectDeck(selectedDeck_);
    for (int d = 0; d < 2; ++d) {
        const DeckState& s = state_[index(d)];
        links_.view.drawDeckTitle(d, s.artist, s.title);
        links_.view.drawDeckInfo(d, deckInfo(d));
    }
    setCrossfader(crossfader_);
    if (skin_ != nullptr && skin_->values.pitchLevel) {
        // Coming from a skin with separate sliders the mode is -1, which setFaderMode
        // would keep: the new skin's single slider per deck would show both sets at once.
        if (faderMode_ == -1) faderMode_ = 0;
        setFaderMode(0);
    } else {
        faderMode_ = -1;
    }
    for (int d = 0; d < 2; ++d) {
        setDeckLevel(d, state_[index(d)].level);
        setDeckPitch(d, deck(d).pitch());
    }
    // Every face is drawn anew on the next refresh.
    for (DeckState& s : state_) s.drawnPlaying = -1;
}

void MixingDesk::closePreparation() {
    DeskTimers& timers = links_.timers;
    if (mixRunning_) timers.kill(DeskTimers::kMixStep);
    mixRunning_ = false;
    for (int d = 0; d < 2; ++d) {
        DeckState& s = state_[index(d)];
        if (s.historyRunning) timers.kill(DeskTimers::kHistory1 + d);
        if (s.pitchResetRunning) timers.kill(DeskTimers::kPitchReset1 + d);
        s.historyRunning = s.pitchResetRunning = false;
    }
    timers.kill(DeskTimers::kDisplay);
}

// ---------------------------------------------------------------------------------------
// Timers and messages

void MixingDesk::onTimer(int id) {
    switch (id) {
        case DeskTimers::kMixStep:
            if (mixRunning_) mixTick();
            break;
        case DeskTimers::kHistory1:
        case DeskTimers::kHistory2: {
            const int d = id - DeskTimers::kHistory1;
            links_.library.addToHistory(d);
            links_.timers.kill(id);
            state_[index(d)].historyRunning = false;
            break;
        }
        case DeskTimers::kDisplay:
            refreshDisplay();
            if (analysis_ != nullptr) analysis_->pollLibrary();
            break;
        case DeskTimers::kPitchReset1:
        case DeskTimers::kPitchReset2:
            pitchResetTick(id - DeskTimers::kPitchReset1);
            break;
        default:
            break;
    }
}

void MixingDesk::onMessage(int message, int d) {
    if (d != 0 && d != 1) return;
    if (message == kMessageStartDeck) onStartDeck(d);
    if (message == kMessageTrackEnded) onTrackEnded(d);
}

void MixingDesk::onStartDeck(int d) {
    if (d != 0 && d != 1) return;
    // The sound thread repeats the request on every pass until the mix marks the playing
    // deck; the repeats still queued must not restart the mix that is already running.
    if (mixRunning_ && mixTarget_ == d) return;
    startMix(d);
}

void MixingDesk::onTrackEnded(int d) {
    if (d != 0 && d != 1) return;
    if (get(settings().autoMix) != 0) links_.library.loadNextFromPlaylist(d);
}

bool MixingDesk::onCloseRequested() {
    if ((deck(0).playing() || deck(1).playing()) && !links_.shell.askYesNo(kQuitQuestion))
        return false;
    closePreparation();
    return true;
}

// ---------------------------------------------------------------------------------------
// Loading from the library or a drop

bool MixingDesk::dropOntoDeck(int d, const TrackEntry& entry) {
    if (d != 0 && d != 1) return false;
    const DeckStream& target = deck(d);
    if (target.playing() || target.awaitingStart()) {
        const int32_t rule = get(settings().babySecure);
        if (rule == 1) {
            if (!links_.shell.askYesNo(kReplaceQuestion)) return false;
        } else if (rule != 0) {
            return false;
        }
    }
    loadOntoDeck(d, entry);
    return true;
}

// ---------------------------------------------------------------------------------------
// What the library asks of the decks

bool MixingDesk::holdsTrack(int d) const {
    return (d == 0 || d == 1) && deck(d).position() >= 0.0f;
}

bool MixingDesk::isBusy(int d) const {
    if (d != 0 && d != 1) return true;
    const DeckStream& ds = deck(d);
    return ds.playing() || ds.awaitingStart();
}

bool MixingDesk::isAudible(int d) const {
    const OutputDevice* out = output();
    return out != nullptr && out->isAudible(d);
}

const TrackEntry* MixingDesk::openTrack(int d) const {
    if ((d != 0 && d != 1) || deck(d).duration() < 0) return nullptr;
    return deck(d).track();
}

bool MixingDesk::askYesNo(const std::string& question) { return links_.shell.askYesNo(question); }

int MixingDesk::controlAt(int32_t x, int32_t y) const {
    return skin_ != nullptr ? hitTest(*skin_, x, y, currentPanel_, faderMode_) : ctl::None;
}

// ---------------------------------------------------------------------------------------
// Panels

bool MixingDesk::mixVisible() const {
    return currentPanel_ == 2 || (skin_ != nullptr && skin_->values.mixNowAlwaysVisible);
}

void MixingDesk::selectPanel(int panel) {
    if (panel < 0 || panel > 5) return;
    DeskView& view = links_.view;
    const int old = currentPanel_;
    if (old >= 0) {
        view.drawControl(ctl::MenuFiles + old, false);
        links_.library.showPanel(old, false);
    }
    view.drawControl(ctl::FilesWindow, false);
    const bool alwaysVisible = skin_ != nullptr && skin_->values.mixNowAlwaysVisible;
    if (old == 2 && !alwaysVisible) view.restoreControl(ctl::Mix);
    currentPanel_ = panel;
    if (mixVisible()) view.drawControl(ctl::Mix, mixRunning_);

    switch (panel) {
        case 0:
            for (int id : {ctl::SetHomeFolder, ctl::GoDesktop, ctl::GoHomeFolder})
                view.drawControl(id, false);
            break;
        case 1:
            for (int id : {ctl::SearchGo, ctl::ScanCd, ctl::ScanDisk, ctl::DeleteCd})
                view.drawControl(id, false);
            break;
        case 2:
            for (int id : {ctl::SetHomeFolder, ctl::GoDesktop, ctl::GoHomeFolder})
                view.drawControl(id, false);
            view.drawControl(ctl::AutoMixSwitch, get(settings().autoMix) != 0);
            for (int id : {ctl::Shuffle, ctl::NewSongsOnly, ctl::Save}) view.drawControl(id, false);
            break;
        case 3: {
            const OutputDevice* out = output();
            view.drawControl(ctl::StartRecording, out != nullptr && out->recorder() != nullptr);
            drawRecordStatus(true);
            break;
        }
        case 4:
            view.drawControl(ctl::Save, false);
            break;
        default:
            drawOptionsPanel();
            break;
    }
    links_.library.showPanel(panel, true);
    view.drawControl(ctl::MenuFiles + panel, true);
}

void MixingDesk::drawOptionsPanel() {
    if (currentPanel_ == 5) links_.view.drawOptionsPanel();
}

void MixingDesk::drawRecordStatus(bool force) {
    if (currentPanel_ != 3) return;
    const OutputDevice* out = output();
    const SampleSink* recorder =
        out != nullptr && !out->stopRequested() ? out->recorder() : nullptr;
    if (recorder != nullptr) {
        links_.view.drawRecordStatus(recorder->describe());
        recordStatusShown_ = true;
    } else if (!recordEndMessage_.empty()) {
        // How the last recording ended stays until the next one starts.
        if (!recordStatusShown_ || force) links_.view.drawRecordStatus(recordEndMessage_);
        recordStatusShown_ = true;
    } else if (recordStatusShown_ || force) {
        // Once, so that a finished recording does not leave its last status behind.
        links_.view.drawRecordStatus(std::string());
        recordStatusShown_ = false;
    }
}

void MixingDesk::watchRecording() {
    OutputDevice* out = output();
    const SampleSink* recorder = out != nullptr ? out->recorder() : nullptr;
    if (recorder == nullptr) {
        if (lastRecordingLost_) {
            // Stopped by the user, but with holes: the file is not what was heard.
            lastRecordingLost_ = false;
            showRecordingEnded(withFirstLine(lastRecordStatus_, kRecordingStopped));
        }
        return;
    }
    if (out->stopRequested()) return;  // already on its way out
    if (recorder->failed()) {
        // The writer gave up (a full disk): the file holds what was written; the recording
        // ends here and says why.
        const std::string text = recorder->describe();
        out->requestStopRecording();
        lastRecordingLost_ = false;
        showRecordingEnded(text);
        return;
    }
    lastRecordingLost_ = recorder->framesLost() > 0;
    if (lastRecordingLost_) lastRecordStatus_ = recorder->describe();
}

void MixingDesk::recordingEnded(const std::string& why, const SampleSink& recorder) {
    lastRecordingLost_ = false;
    showRecordingEnded(withFirstLine(recorder.describe(), why));
}

void MixingDesk::showRecordingEnded(const std::string& text) {
    recordEndMessage_ = text;
    if (currentPanel_ != 3) return;
    links_.view.drawControl(ctl::StartRecording, false);
    drawRecordStatus(true);
}

std::string MixingDesk::withFirstLine(const std::string& text, const std::string& first) {
    const size_t end = text.find('\n');
    return end == std::string::npos ? first : first + text.substr(end);
}

void MixingDesk::optionClicked(int id) {
    Settings& s = settings();
    const auto flip = [](std::atomic<int32_t>& value) { set(value, get(value) != 0 ? 0 : 1); };
    switch (id) {
        case ctl::StartRecording: {
            const bool started = links_.shell.saveTheMix();
            if (started) {
                recordEndMessage_.clear();
                lastRecordingLost_ = false;
            }
            links_.view.drawControl(ctl::StartRecording, started);
            drawRecordStatus(true);
            return;
        }
        case ctl::OptAutoPitch:
            flip(s.autoBpm);
            break;
        case ctl::OptAutoReset:
            flip(s.autoZPitch);
            break;
        case ctl::OptAutoLevel:
            flip(s.autoLevel);
            break;
        case ctl::OptToolTip:
            flip(s.toolTip);
            break;
        case ctl::OptMultiInstance:
            flip(s.multiInstance);
            break;
        case ctl::OptMixLength: {
            const int32_t v = get(s.longMix);
            set(s.longMix, v == 0 ? 16 : v == 16 ? 40 : v == 40 ? 64 : v == 64 ? 112 : 0);
            break;
        }
        case ctl::OptCrossfader: {
            const int32_t v = get(s.crossfader) + 1;
            set(s.crossfader, v >= 3 || v < 0 ? 0 : v);
            // The new curve is heard at once.
            if (OutputDevice* out = output()) out->applyCrossfader(crossfader_);
            break;
        }
        case ctl::OptSecurity: {
            const int32_t v = get(s.babySecure) + 1;
            set(s.babySecure, v >= 3 || v < 0 ? 0 : v);
            break;
        }
        case ctl::OptMasterTempo:
            flip(s.masterTempo);
            deck(0).refresh();
            deck(1).refresh();
            break;
        case ctl::OptPitchRange:
            togglePitchRange();
            return;  // it redraws the panel itself, before re-clamping
        case ctl::OptSkin:
        case ctl::OptPlugins:
        case ctl::OptSoundConfig:
        case ctl::OptAbout:
        case ctl::OptShortcuts:
            links_.shell.openDialog(id);
            break;
        default:
            return;
    }
    drawOptionsPanel();
}

// ---------------------------------------------------------------------------------------
// Display

void MixingDesk::refreshDisplay() {
    DeskView& view = links_.view;
    for (int d = 0; d < 2; ++d) {
        const DeckStream& ds = deck(d);
        const TrackAnalysis* a = ds.analysis();
        view.drawDisc(d, ds.position(),
                      a != nullptr ? a->cuePoint.load(std::memory_order_relaxed) : 0.0f,
                      ds.duration() >= 0);
    }
    for (int d = 0; d < 2; ++d) view.drawDeckInfo(d, deckInfo(d));
    if (skin_ != nullptr && skin_->values.playPause) {
        for (int d = 0; d < 2; ++d) {
            const int playing = deck(d).playing() ? 1 : 0;
            DeckState& s = state_[index(d)];
            if (playing == s.drawnPlaying) continue;
            s.drawnPlaying = playing;
            if (pressedButton_ >= 0) releaseButton();
            // Play and pause share one spot: the face shows the next action.
            view.drawControl(playing != 0 ? ctl::Pause1 + d : ctl::Play1 + d, false);
        }
    }
    watchRecording();
    drawRecordStatus(false);
    if (OutputDevice* out = output()) out->collectRetiredRecorder();
}

DeckInfo MixingDesk::deckInfo(int d) const {
    const DeckStream& ds = deck(d);
    DeckInfo info;
    info.status = status_[index(d)].load(std::memory_order_relaxed);
    info.duration = ds.duration();
    info.position = ds.position();
    info.pitch = ds.pitch();
    info.level = state_[index(d)].level;
    const TrackEntry* track = ds.track();
    info.trackBpm =
        track != nullptr && track->record != nullptr ? track->record->currentBpm() : 0.0f;
    info.localBpm = ds.analyser().localBpm();
    info.localLevel = ds.analyser().lastLoudness();
    if (const TrackAnalysis* a = ds.analysis()) {
        constexpr auto relaxed = std::memory_order_relaxed;
        info.cuePoint = a->cuePoint.load(relaxed);
        info.firstStrongBeat = a->firstStrongBeat.load(relaxed);
        info.lastStrongBeat = a->lastStrongBeat.load(relaxed);
        info.loudnessPeak = a->loudnessPeak.load(relaxed);
    }
    info.extended = infoExtended_;
    return info;
}

void MixingDesk::setDeckStatus(int d, uint32_t status) {
    status_[index(d)].store(status, std::memory_order_relaxed);
}

int MixingDesk::selectedDeck() const { return selectedDeck_; }
int MixingDesk::currentPanel() const { return currentPanel_; }
int MixingDesk::faderMode() const { return faderMode_; }
int32_t MixingDesk::crossfader() const { return crossfader_; }
bool MixingDesk::mixRunning() const { return mixRunning_; }

// ---------------------------------------------------------------------------------------
// Faders

void MixingDesk::setCrossfader(int32_t value) {
    value = std::clamp(value, int32_t{0}, kCrossfaderMax);
    const int32_t old = crossfader_;
    if (value != old) {
        if (OutputDevice* out = output()) out->applyCrossfader(value);
    }
    links_.view.drawCrossfaderKnob(old, value);
    crossfader_ = value;
}

void MixingDesk::setFaderMode(int mode) {
    if (faderMode_ == -1 || (mode != 0 && mode != 1)) return;
    DeskView& view = links_.view;
    const int old = faderMode_;
    faderMode_ = mode;
    if (old == 0) {
        for (int id : {ctl::ResetPitch1, ctl::ResetPitch2, ctl::Pitch1, ctl::Pitch2})
            view.restoreControl(id);
        view.drawControl(ctl::MenuLevel1, false);
        view.drawControl(ctl::MenuLevel2, false);
    } else if (old == 1) {
        view.restoreControl(ctl::Level1);
        view.restoreControl(ctl::Level2);
        view.drawControl(ctl::MenuPitch1, false);
        view.drawControl(ctl::MenuPitch2, false);
    }
    if (mode == 0) {
        for (int id : {ctl::Pitch1, ctl::Pitch2, ctl::MenuLevel1, ctl::MenuLevel2})
            view.drawControl(id, true);
        for (int d = 0; d < 2; ++d) {
            const DeckState& s = state_[index(d)];
            view.drawControl(ctl::ResetPitch1 + d, s.pitchResetRunning);
            view.drawSliderKnob(ctl::Pitch1 + d, s.pitchSlider, s.pitchSlider);
        }
    } else {
        for (int id : {ctl::Level1, ctl::Level2, ctl::MenuPitch1, ctl::MenuPitch2})
            view.drawControl(id, true);
        for (int d = 0; d < 2; ++d) {
            const DeckState& s = state_[index(d)];
            view.drawSliderKnob(ctl::Level1 + d, s.levelSlider, s.levelSlider);
        }
    }
}

}  // namespace spinlorex
