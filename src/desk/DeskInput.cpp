// Keyboard and mouse: the key table, the press and release of skin controls, slider,
// crossfader and window drags, and the jump on a disc.

#include "desk/DeskInput.h"

#include <algorithm>
#include <cmath>
#include <numbers>
#include <utility>

#include "audio/AudioFormat.h"
#include "audio/Crossfader.h"
#include "desk/AutoMix.h"
#include "desk/DeskFaders.h"
#include "desk/DeskHotCues.h"
#include "desk/DeskLoops.h"
#include "desk/DeskPanels.h"
#include "desk/DeskPreview.h"
#include "desk/DeskSync.h"
#include "desk/DeskTransport.h"
#include "desk/display/OptionLines.h"
#include "platform/settings/Settings.h"

namespace spinlorex {

namespace {
enum Key : int {
    kTab = 9,
    kEnter = 13,
    kEscape = 27,
    kSpace = 32,
    kPageUp = 33,
    kPageDown = 34,
    kLeft = 37,
    kUp = 38,
    kRight = 39,
    kDown = 40,
    kDelete = 46,
    kDigit1 = 49,
    kDigit8 = 56,
    kA = 65,
    kB = 66,
    kD = 68,
    kG = 71,
    kH = 72,
    kI = 73,
    kJ = 74,
    kK = 75,
    kL = 76,
    kM = 77,
    kN = 78,
    kO = 79,
    kP = 80,
    kR = 82,
    kS = 83,
    kV = 86,
    kW = 87,
    kX = 88,
    kZ = 90,
    kF1 = 112,
    kF6 = 117,
    kF9 = 120,
    kF12 = 123,
};
}  // namespace

DeskInput::DeskInput(DeskContext& context, Parts parts)
    : context_(context),
      faders_(parts.faders),
      sync_(parts.sync),
      panels_(parts.panels),
      mix_(parts.mix),
      transport_(parts.transport),
      loops_(parts.loops),
      hotCues_(parts.hotCues),
      preview_(parts.preview) {}

bool DeskInput::onKeyDown(int virtualKey) {
    const int key = virtualKey & 0xFF;
    if (searchEditActive_) {
        // The edit field gets its keys; only the function keys still reach the desk.
        if (key == kEscape) {
            searchEditActive_ = false;
            return true;
        }
        if (key == kEnter) {
            if (panels_.currentPanel() != 1) return false;
            context_.links.library.runSearch();
            return true;
        }
        if (key < kF1 || key > kF12) return false;
    }

    const int d = panels_.selectedDeck();
    DeckStream& ds = context_.deck(d);
    switch (key) {
        case kTab:
            panels_.selectDeck(1 - d);
            return true;
        case kEnter:
            if (!context_.links.library.onEnterKey()) sync_.syncBeat(d);
            return true;
        case kEscape:
            sync_.magicSync(d);
            return true;
        case kSpace:
            ds.play();
            return true;
        case kPageUp:
            faders_.setDeckPitch(d, ds.pitch() - 306);
            return true;
        case kPageDown:
            faders_.setDeckPitch(d, ds.pitch() + 306);
            return true;
        case kLeft:
            ds.nudge(ds.pitch() * 256 / kNormalPitch);
            sync_.movedByHand();
            return true;
        case kUp:
            faders_.setDeckPitch(d, ds.pitch() - 8);
            return true;
        case kRight:
            ds.nudge(-ds.pitch() * 256 / kNormalPitch);
            sync_.movedByHand();
            return true;
        case kDown:
            faders_.setDeckPitch(d, ds.pitch() + 8);
            return true;
        case kDelete:
            context_.links.library.onDeleteKey();
            return true;
        case kL:
            ds.goToCue();
            return true;
        case kM:
            ds.storeCue();
            transport_.redrawCueMark(d);
            return true;
        case kN:
            transport_.skipBeat(d);
            return true;
        case kP:
            ds.pause();
            return true;
        case kS:
            ds.cycleCue();
            return true;
        case kB:
            loops_.beatLoop(d);
            return true;
        case kJ:
            loops_.halve(d);
            return true;
        case kK:
            loops_.doubleSize(d);
            return true;
        case kG:
            loops_.move(d, -1);
            return true;
        case kH:
            loops_.move(d, 1);
            return true;
        case kI:
            loops_.loopIn(d);
            return true;
        case kO:
            loops_.loopOut(d);
            return true;
        case kR:
            loops_.reloop(d);
            return true;
        case kD:
            deleteHotCue_ = true;
            return true;
        case kV:
            // The focused list's row in the headphones; V again, away from the lists, stops.
            if (!context_.links.library.previewFocusedRow() && preview_.playing()) preview_.stop();
            return true;
        case kW:
            toggleWaveforms();
            return true;
        case kZ:
            context_.links.shell.zoomWaveforms(-1);
            return true;
        case kX:
            context_.links.shell.zoomWaveforms(1);
            return true;
        default:
            break;
    }
    if (key >= kDigit1 && key <= kDigit8) {
        if (std::exchange(deleteHotCue_, false))
            hotCues_.remove(d, key - kDigit1);
        else
            hotCues_.press(d, key - kDigit1);
        return true;
    }
    if (key >= kF1 && key <= kF6) {
        panels_.selectPanel(key - kF1, mix_.running());
        return true;
    }
    if (key >= kF9 && key <= kF12) {
        // F9/F10 deck 1's key down/up a semitone, F11/F12 deck 2's.
        DeckStream& shifted = context_.deck((key - kF9) / 2);
        shifted.setKeyShift(shifted.keyShift() + ((key - kF9) % 2 == 0 ? -1 : 1));
        return true;
    }
    // Letters without a shortcut are swallowed so that they do not reach the lists.
    return key >= kA && key <= kZ;
}

// ---------------------------------------------------------------------------------------
// Buttons

void DeskInput::pressButton(int id) {
    if (pressedButton_ >= 0) releaseButton();  // the first button's action is dropped
    context_.links.view.drawControl(id, true);
    pressedButton_ = id;
    context_.links.shell.captureMouse();
}

void DeskInput::releaseButton() {
    if (pressedButton_ < 0) return;
    context_.links.view.drawControl(pressedButton_, false);
    pressedButton_ = -1;
    context_.links.shell.releaseMouse();
}

void DeskInput::actOnRelease(int id) {
    switch (id) {
        case ctl::Close:
            context_.links.shell.requestClose();
            break;
        case ctl::Minimize:
            context_.links.shell.minimize();
            break;
        case ctl::Maximize:
            context_.links.shell.toggleFullScreen();
            break;
        case ctl::SetHomeFolder:
        case ctl::GoDesktop:
        case ctl::GoHomeFolder:
        case ctl::SearchGo:
        case ctl::ScanDisk:
        case ctl::ScanCd:
        case ctl::DeleteCd:
        case ctl::Shuffle:
        case ctl::NewSongsOnly:
        case ctl::Save:
            context_.links.library.onButton(id);
            break;
        default:
            break;
    }
}

// ---------------------------------------------------------------------------------------
// Mouse

void DeskInput::onMouseDown(bool leftButton, int32_t x, int32_t y) {
    context_.links.shell.hideTooltip();
    if (context_.skin == nullptr) return;
    const int id = hitTest(*context_.skin, x, y, panels_.currentPanel(), faders_.faderMode());
    const int d = id & 1;
    switch (id) {
        case ctl::Close:
        case ctl::Minimize:
        case ctl::Maximize:
        case ctl::SetHomeFolder:
        case ctl::GoDesktop:
        case ctl::GoHomeFolder:
        case ctl::SearchGo:
        case ctl::ScanDisk:
        case ctl::ScanCd:
        case ctl::DeleteCd:
        case ctl::Shuffle:
        case ctl::NewSongsOnly:
        case ctl::Save:
            pressButton(id);
            break;
        case ctl::Go1:
        case ctl::Go2:
            sync_.magicSync(d);
            pressButton(id);
            break;
        case ctl::Play1:
        case ctl::Play2:
        case ctl::Pause1:
        case ctl::Pause2:
            transport_.playPause(d);
            pressButton(id);
            break;
        case ctl::Stop1:
        case ctl::Stop2:
            transport_.stopButton(d);
            pressButton(id);
            break;
        case ctl::Mem1:
        case ctl::Mem2:
            transport_.cueButton(d);
            pressButton(id);
            break;
        case ctl::Platine1:
        case ctl::Platine2:
            panels_.selectDeck(d);
            break;
        case ctl::Infos1:
        case ctl::Infos2:
            infoExtended_ = !infoExtended_;
            break;
        case ctl::Disc1:
        case ctl::Disc2:
            if (mix_.running()) mix_.stopMix();
            discJump(d, x, y);
            break;
        case ctl::Pitch1:
        case ctl::Pitch2:
        case ctl::Level1:
        case ctl::Level2:
            startSliderDrag(id, !leftButton, y);
            break;
        case ctl::ResetPitch1:
        case ctl::ResetPitch2:
            faders_.resetPitchButton(d);
            break;
        case ctl::MenuLevel1:
        case ctl::MenuLevel2:
            faders_.setFaderMode(1);
            break;
        case ctl::MenuPitch1:
        case ctl::MenuPitch2:
            faders_.setFaderMode(0);
            break;
        case ctl::Crossfader:
            startCrossfaderDrag(!leftButton, x);
            break;
        case ctl::SyncPitch1:
        case ctl::SyncPitch2:
            sync_.syncPitch(d);
            pressButton(id);
            break;
        case ctl::SyncLevel1:
        case ctl::SyncLevel2:
            sync_.syncLevel(d);
            pressButton(id);
            break;
        case ctl::SyncBeat1:
        case ctl::SyncBeat2:
            sync_.syncBeat(d);
            pressButton(id);
            break;
        case ctl::MenuFiles:
        case ctl::MenuSearch:
        case ctl::MenuPlaylist:
        case ctl::MenuRecord:
        case ctl::MenuHistory:
        case ctl::MenuConfig:
            panels_.selectPanel(id - ctl::MenuFiles, mix_.running());
            break;
        case ctl::Mix:
            mix_.mixNow();
            break;
        case ctl::AutoMixSwitch:
            mix_.toggleAutoMix();
            break;
        case ctl::WindowDrag:
            // A window that covers the screen stays; otherwise the window system moves
            // it where it can, and the desk follows the pointer itself where it cannot.
            if (get(settings().maximized) == 0 && context_.links.shell.startSystemMove()) break;
            dragMode_ = kWindowDrag;
            springBack_ = -1;
            grabX_ = x;
            grabY_ = y;
            context_.links.shell.captureMouse();
            break;
        default:
            if (id == ctl::StartRecording || (id >= ctl::OptAutoPitch && id <= ctl::OptPitchRange))
                panels_.optionClicked(id);
            else if (id == ctl::None && panels_.currentPanel() == DeskPanels::kOptionsPanel)
                if (const int32_t k = display::extraOptionAt(*context_.skin, x, y); k >= 0)
                    panels_.extraOptionClicked(k);
            break;
    }
}

void DeskInput::onMouseUp(int32_t x, int32_t y) {
    context_.links.shell.hideTooltip();
    if (dragMode_ != kNoDrag) {
        // A right-button drag was a temporary bend: the old value returns.
        if (springBack_ >= 0) {
            if (dragMode_ == kCrossfaderDrag)
                faders_.setCrossfader(springBack_);
            else if (dragMode_ == kPitchDrag || dragMode_ == kPitchDrag + 1)
                faders_.setDeckPitch(dragMode_ - kPitchDrag, springBack_);
            else if (dragMode_ == kLevelDrag || dragMode_ == kLevelDrag + 1)
                faders_.setDeckLevel(dragMode_ - kLevelDrag, springBack_);
        }
        dragMode_ = kNoDrag;
        springBack_ = -1;
        context_.links.shell.releaseMouse();
    }
    if (context_.links.library.dragActive()) context_.links.library.dropOnDeck(x, y);
    if (pressedButton_ >= 0) {
        // The action comes wherever the pointer is now.
        const int id = pressedButton_;
        releaseButton();
        actOnRelease(id);
    }
}

void DeskInput::onMouseMove(int32_t x, int32_t y, int32_t keyState) {
    switch (dragMode_) {
        case kCrossfaderDrag:
            moveCrossfader(x);
            return;
        case kPitchDrag:
        case kPitchDrag + 1:
        case kLevelDrag:
        case kLevelDrag + 1:
            moveSlider(y);
            return;
        case kWindowDrag:
            if (get(settings().maximized) != 0) {
                dragMode_ = kNoDrag;
                context_.links.shell.releaseMouse();
            } else {
                context_.links.shell.dragWindow(grabX_, grabY_);
            }
            return;
        default:
            break;
    }
    if (context_.links.library.dragActive()) {
        context_.links.library.dragOver(x, y);
    } else if (keyState == 0 && get(settings().toolTip) != 0 && context_.skin != nullptr) {
        context_.links.shell.showTooltip(
            hitTest(*context_.skin, x, y, panels_.currentPanel(), faders_.faderMode()), x, y);
    }
}

// ---------------------------------------------------------------------------------------
// Drags

void DeskInput::startCrossfaderDrag(bool rightButton, int32_t x) {
    if (mix_.running()) mix_.stopMix();
    dragMode_ = kCrossfaderDrag;
    // Set on every drag: a value left from an earlier right-button drag of another
    // control must not be restored into this one.
    springBack_ = rightButton ? faders_.crossfader() : -1;
    const SkinControl& track = context_.control(ctl::Crossfader);
    const int32_t knob = context_.control(ctl::HorizontalFader).width;
    const int32_t l = track.hitLeft;
    const int32_t r = track.hitRight;
    const int32_t k = faders_.crossfader() * (r - knob - l) / kCrossfaderMax;  // knob's left edge
    grabX_ = x - knob / 2 - l - k;
    if (std::abs(2 * grabX_) >= knob) {
        // Clicked off the knob: its centre jumps under the pointer.
        grabX_ = 0;
        moveCrossfader(x);
    }
    context_.links.shell.captureMouse();
}

void DeskInput::moveCrossfader(int32_t x) {
    const SkinControl& track = context_.control(ctl::Crossfader);
    const int32_t knob = context_.control(ctl::HorizontalFader).width;
    const int32_t travel = track.hitRight - track.hitLeft - knob;
    if (travel <= 0) return;  // a skin without travel: nothing to drag
    const int32_t v = std::clamp((x - knob / 2 - grabX_ - track.hitLeft) * kCrossfaderMax / travel,
                                 int32_t{0}, kCrossfaderMax);
    if (v != faders_.crossfader()) faders_.setCrossfader(v);
}

void DeskInput::startSliderDrag(int sliderId, bool rightButton, int32_t y) {
    const int d = sliderId & 1;
    const bool pitch = sliderId == ctl::Pitch1 || sliderId == ctl::Pitch2;
    dragMode_ = (pitch ? kPitchDrag : kLevelDrag) + d;
    springBack_ = rightButton ? (pitch ? context_.deck(d).pitch() : faders_.deckLevel(d)) : -1;
    const SkinControl& slider = context_.control(sliderId);
    const int32_t h = context_.control(ctl::VerticalFader1 + d).height;
    const int32_t travel = slider.hitBottom - h - slider.hitTop;
    const int32_t position = pitch ? faders_.pitchSlider(d) : faders_.levelSlider(d);
    grabY_ = y - h / 2 - slider.hitTop - position * travel / 256;
    if (std::abs(2 * grabY_) >= h) {
        grabY_ = 0;
        moveSlider(y);
    }
    context_.links.shell.captureMouse();
}

void DeskInput::moveSlider(int32_t y) {
    const bool pitch = dragMode_ == kPitchDrag || dragMode_ == kPitchDrag + 1;
    const int d = dragMode_ & 1;
    const SkinControl& slider = context_.control(pitch ? ctl::Pitch1 + d : ctl::Level1 + d);
    const int32_t h = context_.control(ctl::VerticalFader1 + d).height;
    if (pitch && faders_.pitchResetRunning(d)) faders_.stopPitchReset(d);
    const int32_t travel = slider.hitBottom - slider.hitTop - h;
    if (travel <= 0) return;
    const int32_t v =
        std::clamp((y - h / 2 - grabY_ - slider.hitTop) * 256 / travel, int32_t{0}, int32_t{256});
    if (pitch) {
        // The top of the slider is the slowest pitch.
        const int32_t low = faders_.pitchMin();
        const int32_t high = faders_.pitchMax();
        if (v != faders_.pitchSlider(d)) faders_.setDeckPitch(d, low + (high - low) * v / 256);
    } else {
        if (v != faders_.levelSlider(d)) faders_.setDeckLevel(d, 256 - v);
    }
}

void DeskInput::toggleWaveforms() {
    const bool on = get(settings().waveforms) == 0;
    set(settings().waveforms, on ? 1 : 0);
    context_.links.shell.showWaveforms(on);
}

void DeskInput::seekFromOverview(int d, double fraction) {
    if (mix_.running()) mix_.stopMix();
    DeckStream& deck = context_.deck(d);
    if (deck.duration() < 0) return;
    if (fraction >= 1.0) {
        // As a click at the end of the disc: the track ends here.
        deck.finish();
        mix_.onTrackEnded(d);
        return;
    }
    const auto f = static_cast<float>(std::clamp(fraction, 0.0, 1.0));
    // A playing deck plays on from there; a stopped one waits there.
    if (deck.playing())
        deck.seekAndPlay(f);
    else
        deck.seek(f);
}

void DeskInput::discJump(int d, int32_t x, int32_t y) {
    const SkinControl& disc = context_.control(ctl::Disc1 + d);
    float f = 0.0f;
    if (disc.radius >= 0) {
        const int32_t cx = disc.hitLeft;
        const int32_t cy = disc.hitTop;
        if (x == cx && y == cy) return;
        // Clockwise from 12 o'clock, which is the end of the track, like the hand.
        f = static_cast<float>(
            (std::atan2(static_cast<double>(cx - x), static_cast<double>(y - cy)) /
                 std::numbers::pi +
             1.0) /
            2.0);
    } else {
        if (disc.hitRight == disc.hitLeft) return;
        f = static_cast<float>(x - disc.hitLeft) / static_cast<float>(disc.hitRight - disc.hitLeft);
    }
    if (f >= 1.0f) {
        // The end of the track. A seek there followed by a start would play on through
        // the audio already decoded ahead, for seconds, with the hand jumping back; the
        // track ends here instead, as it would have ended by itself.
        context_.deck(d).finish();
        mix_.onTrackEnded(d);
        return;
    }
    context_.deck(d).seekAndPlay(f);
}

}  // namespace spinlorex
