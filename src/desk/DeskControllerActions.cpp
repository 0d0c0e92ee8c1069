// A controller's actions on the desk, through the functions its keys and mouse use.

#include "desk/DeskControllerActions.h"

#include <algorithm>
#include <cmath>

#include "audio/Crossfader.h"
#include "audio/DeckPair.h"
#include "desk/MixingDesk.h"

namespace spinlorex {

using midi::Action;

DeskControllerActions::DeskControllerActions(MixingDesk& desk, DeckPair& decks, JogTarget* jog)
    : desk_(desk), decks_(decks), jog_(jog) {}

void DeskControllerActions::button(Action action, int deck, int argument, bool down) {
    const int d = deckIndex(deck) == 1 ? 1 : 0;
    switch (action) {
        case Action::PitchBendUp:
            bend(d, 1, down);
            return;
        case Action::PitchBendDown:
            bend(d, -1, down);
            return;
        case Action::JogTouch:
            if (jog_ != nullptr) jog_->touch(d, down);
            return;
        default:
            break;
    }
    if (!down) return;
    switch (action) {
        case Action::Play:
            desk_.transport().playPause(d);
            break;
        case Action::Cue:
            desk_.transport().cueButton(d);
            break;
        case Action::Stop:
            desk_.transport().stopButton(d);
            break;
        case Action::Sync:
            desk_.sync().syncBeat(d);
            break;
        case Action::MagicSync:
            desk_.sync().magicSync(d);
            break;
        case Action::SkipBeat:
            desk_.transport().skipBeat(d);
            break;
        case Action::Select:
            desk_.panels().selectDeck(d);
            break;
        case Action::HotCue:
            if (argument >= 1) desk_.hotCues().press(d, argument - 1);
            break;
        case Action::HotCueDelete:
            if (argument >= 1) desk_.hotCues().remove(d, argument - 1);
            break;
        case Action::BeatLoop:
            desk_.loops().beatLoop(d);
            break;
        case Action::LoopHalf:
            desk_.loops().halve(d);
            break;
        case Action::LoopDouble:
            desk_.loops().doubleSize(d);
            break;
        case Action::LoopIn:
            desk_.loops().loopIn(d);
            break;
        case Action::LoopOut:
            desk_.loops().loopOut(d);
            break;
        case Action::Reloop:
            desk_.loops().reloop(d);
            break;
        case Action::LoopExit:
            desk_.loops().exit(d);
            break;
        case Action::LoopBack:
            desk_.loops().move(d, -1);
            break;
        case Action::LoopForward:
            desk_.loops().move(d, 1);
            break;
        case Action::Panel:
            if (argument >= 1 && argument <= 6) desk_.selectPanel(argument - 1);
            break;
        case Action::MixNow:
            desk_.mix().mixNow();
            break;
        case Action::AutoMix:
            desk_.mix().toggleAutoMix();
            break;
        case Action::Record:
            desk_.panels().optionClicked(ctl::StartRecording);
            break;
        case Action::Load:
            desk_.library().loadBrowsedRow(d);
            break;
        case Action::BrowsePress:
            desk_.library().browsePress();
            break;
        case Action::Effect:
            decks_[d].setEffectOn(!decks_[d].effectOn());
            break;
        default:  // shift is the engine's
            break;
    }
}

void DeskControllerActions::bend(int d, int direction, bool down) {
    DeskFaders& faders = desk_.faders();
    int32_t& from = bentFrom_[static_cast<size_t>(d)];
    if (down) {
        if (from >= 0) return;  // the other bend button is held already
        if (faders.pitchResetRunning(d)) faders.stopPitchReset(d);  // else it undoes the bend
        from = decks_[d].pitch();
        faders.setDeckPitch(d, from + direction * kBend);
    } else if (from >= 0) {
        faders.setDeckPitch(d, from);
        from = -1;
        desk_.sync().movedByHand();  // a phase lock keeps the distance the bend made
    }
}

void DeskControllerActions::position(Action action, int deck, double position) {
    const int d = deckIndex(deck) == 1 ? 1 : 0;
    const double p = std::clamp(position, 0.0, 1.0);
    DeskFaders& faders = desk_.faders();
    switch (action) {
        case Action::Pitch: {
            if (faders.pitchResetRunning(d)) faders.stopPitchReset(d);
            bentFrom_[static_cast<size_t>(d)] = -1;  // the fader's pitch stays after a bend
            const int32_t low = faders.pitchMin();
            const int32_t high = faders.pitchMax();
            faders.setDeckPitch(d, low + static_cast<int32_t>(std::lround(p * (high - low))));
            break;
        }
        case Action::Volume:
            faders.setDeckLevel(d, static_cast<int32_t>(std::lround(p * 256)));
            break;
        case Action::Crossfader:
            if (desk_.mix().running()) desk_.mix().stopMix();
            faders.setCrossfader(static_cast<int32_t>(std::lround(p * kCrossfaderMax)));
            break;
        default:
            break;
    }
}

void DeskControllerActions::step(Action action, int deck, double steps) {
    if (action == Action::Jog && jog_ != nullptr) jog_->turn(deckIndex(deck) == 1 ? 1 : 0, steps);
    if (action == Action::Browse) desk_.library().browse(static_cast<int>(std::lround(steps)));
}

std::optional<double> DeskControllerActions::deskPosition(Action action, int deck) const {
    const int d = deckIndex(deck) == 1 ? 1 : 0;
    const DeskFaders& faders = desk_.faders();
    switch (action) {
        case Action::Pitch: {
            const int32_t low = faders.pitchMin();
            const int32_t high = faders.pitchMax();
            if (high <= low) return std::nullopt;
            return std::clamp(static_cast<double>(decks_[d].pitch() - low) / (high - low), 0.0,
                              1.0);
        }
        case Action::Volume:
            return faders.deckLevel(d) / 256.0;
        case Action::Crossfader:
            return static_cast<double>(faders.crossfader()) / kCrossfaderMax;
        default:
            return std::nullopt;
    }
}

std::array<midi::DeckLights, 2> DeskControllerActions::lights() const {
    std::array<midi::DeckLights, 2> lights{};
    for (int d = 0; d < 2; ++d) {
        const DeckStream& deck = decks_[d];
        midi::DeckLights& l = lights[static_cast<size_t>(d)];
        l.play = deck.playing();
        l.cue = !deck.playing() && deck.duration() >= 0;
        l.sync = desk_.sync().phaseLock().follower() == d;
        l.selected = desk_.panels().selectedDeck() == d;
    }
    return lights;
}

}  // namespace spinlorex
