// The selected deck, the panels below the decks, the record panel's status and the
// options panel.

#include "desk/DeskPanels.h"

#include <algorithm>

#include "audio/OutputDevice.h"
#include "desk/DeskFaders.h"
#include "desk/display/OptionLines.h"
#include "platform/settings/Settings.h"

namespace spinlorex {

DeskPanels::DeskPanels(DeskContext& context, DeskFaders& faders)
    : context_(context), faders_(faders) {}

void DeskPanels::selectDeck(int d) {
    if (d != 0 && d != 1) return;
    selectedDeck_ = d;
    if (OutputDevice* out = context_.output()) out->deckSelected(d);
    context_.links.view.drawControl(ctl::Platine1 + d, true);
    context_.links.view.drawControl(ctl::Platine1 + (1 - d), false);
}

bool DeskPanels::mixVisible() const {
    const SkinModel* skin = context_.skin;
    return currentPanel_ == 2 || (skin != nullptr && skin->values.mixNowAlwaysVisible);
}

void DeskPanels::selectPanel(int panel, bool mixRunning) {
    if (panel < 0 || panel > 5) return;
    DeskView& view = context_.links.view;
    DeskLibrary& library = context_.links.library;
    const int old = currentPanel_;
    if (old >= 0) {
        view.drawControl(ctl::MenuFiles + old, false);
        library.showPanel(old, false);
    }
    view.drawControl(ctl::FilesWindow, false);
    const bool alwaysVisible =
        context_.skin != nullptr && context_.skin->values.mixNowAlwaysVisible;
    if (old == 2 && !alwaysVisible) view.restoreControl(ctl::Mix);
    currentPanel_ = panel;
    if (mixVisible()) view.drawControl(ctl::Mix, mixRunning);

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
            const OutputDevice* out = context_.output();
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
    library.showPanel(panel, true);
    view.drawControl(ctl::MenuFiles + panel, true);
}

void DeskPanels::drawOptionsPanel() {
    if (currentPanel_ == 5) context_.links.view.drawOptionsPanel();
}

// ---------------------------------------------------------------------------------------
// The record panel

void DeskPanels::refreshRecording() {
    watchRecording();
    drawRecordStatus(false);
    if (OutputDevice* out = context_.output()) out->collectRetiredRecorder();
}

void DeskPanels::drawRecordStatus(bool force) {
    if (currentPanel_ != 3) return;
    const OutputDevice* out = context_.output();
    const SampleSink* recorder =
        out != nullptr && !out->stopRequested() ? out->recorder() : nullptr;
    DeskView& view = context_.links.view;
    if (recorder != nullptr) {
        view.drawRecordStatus(recorder->describe());
        recordStatusShown_ = true;
    } else if (!recordEndMessage_.empty()) {
        // How the last recording ended stays until the next one starts.
        if (!recordStatusShown_ || force) view.drawRecordStatus(recordEndMessage_);
        recordStatusShown_ = true;
    } else if (recordStatusShown_ || force) {
        // Once, so that a finished recording does not leave its last status behind.
        view.drawRecordStatus(std::string());
        recordStatusShown_ = false;
    }
}

void DeskPanels::watchRecording() {
    OutputDevice* out = context_.output();
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

void DeskPanels::recordingEnded(const std::string& why, const SampleSink& recorder) {
    lastRecordingLost_ = false;
    showRecordingEnded(withFirstLine(recorder.describe(), why));
}

void DeskPanels::showRecordingEnded(const std::string& text) {
    recordEndMessage_ = text;
    if (currentPanel_ != 3) return;
    context_.links.view.drawControl(ctl::StartRecording, false);
    drawRecordStatus(true);
}

std::string DeskPanels::withFirstLine(const std::string& text, const std::string& first) {
    const size_t end = text.find('\n');
    return end == std::string::npos ? first : first + text.substr(end);
}

// ---------------------------------------------------------------------------------------
// The options panel

void DeskPanels::optionClicked(int id) {
    Settings& s = settings();
    const auto flip = [](std::atomic<int32_t>& value) { set(value, get(value) != 0 ? 0 : 1); };
    switch (id) {
        case ctl::StartRecording: {
            const bool started = context_.links.shell.saveTheMix();
            if (started) {
                recordEndMessage_.clear();
                lastRecordingLost_ = false;
            }
            context_.links.view.drawControl(ctl::StartRecording, started);
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
            context_.handOverDeckOptions();
            break;
        }
        case ctl::OptCrossfader: {
            const int32_t v = get(s.crossfader) + 1;
            set(s.crossfader, v >= 3 || v < 0 ? 0 : v);
            // The new curve is heard at once.
            if (OutputDevice* out = context_.output()) out->applyCrossfader(faders_.crossfader());
            break;
        }
        case ctl::OptSecurity: {
            const int32_t v = get(s.babySecure) + 1;
            set(s.babySecure, v >= 3 || v < 0 ? 0 : v);
            break;
        }
        case ctl::OptMasterTempo:
            flip(s.masterTempo);
            context_.handOverDeckOptions();
            context_.deck(0).refresh();
            context_.deck(1).refresh();
            break;
        case ctl::OptPitchRange:
            flip(s.limitPitch);
            faders_.applyPitchRange();
            drawOptionsPanel();
            // Each deck's pitch is clamped into the new range (and its knob moves to match).
            for (int d = 0; d < 2; ++d) faders_.setDeckPitch(d, context_.deck(d).pitch());
            return;
        case ctl::OptSkin:
        case ctl::OptPlugins:
        case ctl::OptSoundConfig:
        case ctl::OptAbout:
        case ctl::OptShortcuts:
            context_.links.shell.openDialog(id);
            break;
        default:
            return;
    }
    drawOptionsPanel();
}

}  // namespace spinlorex

namespace spinlorex {

void DeskPanels::extraOptionClicked(int32_t option) {
    Settings& s = settings();
    switch (option) {
        case display::kMasterTempoQuality:
            set(s.masterTempoQuality, get(s.masterTempoQuality) != 0 ? 0 : 1);
            context_.handOverDeckOptions();
            // What was rendered ahead is rendered again in the new quality, crossfaded.
            context_.deck(0).refresh();
            context_.deck(1).refresh();
            break;
        case display::kKeyNotation:
            set(s.keyNotation, (std::clamp(get(s.keyNotation), 0, 2) + 1) % 3);
            context_.links.library.namingChanged();
            break;
        case display::kFileNameTitles:
            set(s.fileNameTitles, get(s.fileNameTitles) != 0 ? 0 : 1);
            context_.links.library.namingChanged();
            break;
        case display::kCompatibleFirst:
            set(s.compatibleFirst, get(s.compatibleFirst) != 0 ? 0 : 1);
            break;
        case display::kControllers:
            context_.links.shell.openControllersDialog();
            break;
        default:
            return;
    }
    drawOptionsPanel();
}

}  // namespace spinlorex
