#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "midi/Mapping.h"
#include "midi/MidiMessage.h"

namespace spinlorex::midi {

// Where a controller's lamps are sent. Called by whoever calls updateLights.
class LightOutput {
public:
    virtual ~LightOutput() = default;
    virtual void send(const MidiMessage& message) = 0;
};

// What a deck's lamps show.
struct DeckLights {
    bool play = false;
    bool cue = false;
    bool sync = false;
    bool selected = false;
    bool operator==(const DeckLights&) const = default;
};

// One controller's mapping at work: turns its messages into the target's presses,
// positions and steps (button modes, shift, relative encodings, 14-bit pairs, soft
// takeover) and the desk's state into its lamps, each sent only when it changes.
//
// handle and bindingFor: the MIDI thread (one thread at a time). updateLights and
// forgetLights: one thread at a time, may differ from the MIDI thread. Never allocates
// after construction.
class MappingEngine {
public:
    MappingEngine(Mapping mapping, ControlTarget& target);

    // Acts on one message; returns the binding it used, nullptr when none.
    const Binding* handle(const MidiMessage& message);
    // The binding `message` would use now (shift as it stands), without acting.
    const Binding* bindingFor(const MidiMessage& message) const;

    // Sends the lamps whose state differs from what was last sent (all of them the first
    // time and after forgetLights).
    void updateLights(const std::array<DeckLights, 2>& decks, LightOutput& out);
    // The controller lost its lamps' state (it was unplugged): send them all next time.
    void forgetLights();

    const Mapping& mapping() const { return mapping_; }

    // How near (0..1) a control must come to the desk's position to take it over.
    static constexpr double kTakeoverWindow = 3.0 / 127.0;

private:
    struct State {
        bool toggled = false;
        bool caught = false;
        double lastControl = -1;  // the control's last position; < 0 before the first
        double lastSent = -1;     // what was last given to the desk
        int msb = 0;              // of a 14-bit pair
    };
    static constexpr int kKeys = 3 * 16 * 128;  // note, cc, pitch bend x channel x number
    static int keyOf(const MidiMessage& message);
    int pick(int key) const;
    void act(int index, const MidiMessage& message, bool release);
    void absolute(int index, double position);

    Mapping mapping_;
    ControlTarget& target_;
    std::vector<State> state_;
    std::array<int16_t, kKeys> plain_{};
    std::array<int16_t, kKeys> shifted_{};
    std::array<int16_t, kKeys> held_{};  // the binding a still-down button pressed
    int shiftsDown_ = 0;
    std::vector<int> lightsSent_;  // -1: unknown
};

// The binding learn mode makes from the first message of the control a DJ moved for
// `action`: a note is a button, a cc a button or a 7-bit fader as the action wants, an
// encoder's encoding guessed from its value (near 64: offset 64, else two's complement).
// Nothing when the message cannot drive that action (a note for a fader).
std::optional<Binding> learnedBinding(const MidiMessage& message, Action action, int deck,
                                      int argument, bool bothDecks);

// "deck 1 play", "desk crossfader", "deck 2 hotcue 3 (shifted)".
std::string describeBinding(const Binding& binding);

}  // namespace spinlorex::midi
