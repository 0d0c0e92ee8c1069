#pragma once

#include <optional>
#include <string_view>

namespace spinlorex::midi {

// Every desk action a controller can drive. The desk decides what each one does; the
// mapping engine only turns messages into presses, positions and steps.
enum class Action {
    // Per deck.
    Play,  // play/pause
    Cue,   // the cue store button
    Stop,  // the cue cycle
    Sync,
    MagicSync,
    SkipBeat,
    Pitch,  // fader, absolute
    PitchBendUp,
    PitchBendDown,
    Volume,  // fader, absolute
    Jog,     // the wheel's turn, relative
    JogTouch,
    Select,  // the deck heard in the pre-listen
    Load,    // the selected library row onto this deck
    Effect,
    HotCue,        // argument: slot 1..8
    HotCueDelete,  // argument: slot 1..8
    BeatLoop,
    LoopHalf,
    LoopDouble,
    LoopIn,
    LoopOut,
    Reloop,
    LoopExit,
    LoopBack,
    LoopForward,
    // The desk as a whole.
    Crossfader,   // absolute
    Browse,       // relative: moves the selection in the focused list
    BrowsePress,  // loads the selected row, or opens the selected folder
    Panel,        // argument: panel 1..6
    MixNow,
    AutoMix,
    Record,
    Shift,  // held: the shifted bindings apply instead
};

enum class ActionKind { Button, Absolute, Relative };
enum class ButtonMode { Press, Hold, Toggle };

struct ActionInfo {
    Action action;
    std::string_view name;
    bool perDeck;
    ActionKind kind;
    ButtonMode defaultMode;  // buttons only
    int maxArgument;         // 0: takes none; else 1..maxArgument
};

// The action's description; every Action has one.
const ActionInfo& actionInfo(Action action);
// The action named `name` in mapping files ("play", "hotcue", ...), if any.
std::optional<Action> actionNamed(std::string_view name);
// Every action in enum order, for lists (learn mode, documentation).
const ActionInfo* allActions(std::size_t& count);

// A lamp of the controller follows one of these.
enum class LightState { Play, Cue, Sync, Selected };
std::string_view lightStateName(LightState state);
std::optional<LightState> lightStateNamed(std::string_view name);

// What an action does when its control moves. `deck` is 0 or 1 (0 for desk-wide
// actions), `argument` the slot or panel (0 when the action takes none).
//
// Called on the thread that runs the engine: the desk runs it on its main thread, after
// the message was handed over from the port's thread; a tool may run it on the MIDI
// thread itself.
class ControlTarget {
public:
    virtual ~ControlTarget() = default;
    // A button went down (true) or up (false). Press-mode bindings send only downs;
    // toggles send their new state.
    virtual void button(Action action, int deck, int argument, bool down) = 0;
    // A fader or knob at `position` in 0..1.
    virtual void position(Action action, int deck, double position) = 0;
    // A relative control moved by `steps` detents (+ clockwise / down the list); the jog
    // wheel's are in turns of the wheel instead.
    virtual void step(Action action, int deck, double steps) = 0;
    // Where the desk's own fader of `action` stands (0..1), for soft takeover; nothing
    // when the desk has no such position.
    virtual std::optional<double> deskPosition(Action action, int deck) const = 0;
};

}  // namespace spinlorex::midi
