#pragma once

#include <array>
#include <cstdint>
#include <optional>

#include "desk/JogTarget.h"
#include "midi/MappingEngine.h"
#include "midi/MidiActions.h"

namespace spinlorex {

class DeckPair;
class MixingDesk;

// A controller's actions on the desk: each calls what the desk's keys and mouse call for
// the same thing (a play button as the skin's play button, a fader as a slider drag), so
// each action behaves as it does from the keyboard. The lamps read the desk's state.
//
// Load, browse and its press go to the desk's library (whose lists are the window's), the
// effect button switches the deck's DSP effect off and on. Jog actions go to the
// JogTarget when one is given, else nowhere.
//
// Main thread only (the engine that drives it runs there); the calls block until the sound
// thread served them, like the keys'.
class DeskControllerActions : public midi::ControlTarget {
public:
    DeskControllerActions(MixingDesk& desk, DeckPair& decks, JogTarget* jog = nullptr);

    // Buttons act on their press; pitch bend and the jog's touch also on their release.
    void button(midi::Action action, int deck, int argument, bool down) override;
    void position(midi::Action action, int deck, double position) override;
    void step(midi::Action action, int deck, double steps) override;
    std::optional<double> deskPosition(midi::Action action, int deck) const override;

    // What each deck's lamps show now: play while it plays, cue while it holds a track and
    // waits, sync while the phase lock keeps it on the other deck's beats, selected for the
    // deck the keys act on.
    std::array<midi::DeckLights, 2> lights() const;

    // How far a pitch bend button moves the pitch while held, in pitch units (4 %).
    static constexpr int32_t kBend = 164;

private:
    void bend(int deck, int direction, bool down);

    MixingDesk& desk_;
    DeckPair& decks_;
    JogTarget* jog_;
    std::array<int32_t, 2> bentFrom_{-1, -1};  // the pitch before a bend held now
};

}  // namespace spinlorex
