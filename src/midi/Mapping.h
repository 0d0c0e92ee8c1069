#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "midi/MidiActions.h"

namespace spinlorex::midi {

// Which controller messages a binding or a light uses.
enum class MessageKind { Note, Control, Control14, PitchBend };

struct MessageSpec {
    MessageKind kind = MessageKind::Note;
    int channel = 0;    // 0..15 (files count 1..16)
    int number = 0;     // note or controller; the most significant half of a 14-bit pair
    int lsbNumber = 0;  // Control14: the controller of the least significant half
};

// How a relative control (encoder, jog wheel) writes a signed move into 7 bits.
enum class Encoding { Absolute, TwosComplement, Offset64, SignBit };

struct Binding {
    Action action = Action::Play;
    int deck = 0;      // 0 or 1; 0 for desk-wide actions
    int argument = 0;  // hot cue slot or panel, 1-based; 0 when the action takes none
    MessageSpec message;
    ButtonMode mode = ButtonMode::Press;
    Encoding encoding = Encoding::Absolute;
    bool shifted = false;  // applies while a shift button is held
    bool invert = false;   // faders upside down, encoders the other way
    bool takeover = true;  // absolute: wait until the control meets the desk's position
    bool bothDecks = false;
    int line = 0;  // where it was written, for messages
};

struct LightBinding {
    LightState state = LightState::Play;
    int deck = 0;
    MessageSpec message;  // Note or Control
    int onValue = 0x7F;
    int offValue = 0;
    bool bothDecks = false;
    int line = 0;
};

// A controller's mapping file, read. Bindings written for both decks ("decks") are held
// twice, once per deck, deck 2's moved by the file's deck-2 offset.
struct Mapping {
    std::string name;
    std::vector<std::string> ports;  // a port whose name contains one of these uses it
    int jogTicksPerTurn = 128;
    int deck2ChannelOffset = 1;  // unless the file says otherwise, deck 2 is one channel up
    int deck2NumberOffset = 0;
    std::vector<Binding> bindings;
    std::vector<LightBinding> lights;
};

struct MappingRead {
    Mapping mapping;
    // "line 12: unknown action 'paly'"; a line with an error is left out, the rest kept.
    std::vector<std::string> errors;
};

// Reads a mapping file's text. Never throws: whatever the bytes, the result is a mapping
// of the lines that make sense and a message for each that does not.
MappingRead parseMapping(std::string_view text);

// The line that parseMapping reads back as `binding` (its deck as written: "decks" when
// it serves both), for learned bindings appended to a file.
std::string bindingLine(const Binding& binding);

// The port's name contains one of the mapping's port names, case ignored.
bool matchesPort(const Mapping& mapping, std::string_view portName);

}  // namespace spinlorex::midi
