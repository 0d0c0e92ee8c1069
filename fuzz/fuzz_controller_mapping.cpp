// Feeds arbitrary bytes to the controller mapping reader. Whatever they are, every error
// names its line, every binding kept is within the MIDI ranges and fits its action, and a
// binding written back as a line reads back as the same one. The engine then takes every
// message a controller can send without fault.

#include <stdlib.h>

#include <cstdint>
#include <string>
#include <string_view>

#include "midi/MappingEngine.h"

using namespace spinlorex::midi;

namespace {

void check(bool condition) {
    if (!condition) abort();
}

struct Nothing : ControlTarget {
    void button(Action, int deck, int, bool) override { check(deck == 0 || deck == 1); }
    void position(Action, int deck, double p) override {
        check((deck == 0 || deck == 1) && p >= 0 && p <= 1);
    }
    void step(Action, int deck, double) override { check(deck == 0 || deck == 1); }
    std::optional<double> deskPosition(Action, int) const override { return 0.5; }
};

struct Drop : LightOutput {
    void send(const MidiMessage& m) override {
        check(m.size == 3 && m.data1 < 0x80 && m.data2 < 0x80);
    }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const MappingRead read = parseMapping(text);
    for (const std::string& error : read.errors)
        check(error.starts_with("line ") || error.starts_with("... and ") ||
              error.starts_with("the file"));
    for (const Binding& b : read.mapping.bindings) {
        const MessageSpec& m = b.message;
        check(m.channel >= 0 && m.channel <= 15 && m.number >= 0 && m.number <= 127 &&
              m.lsbNumber >= 0 && m.lsbNumber <= 127);
        check(b.deck == 0 || b.deck == 1);
        const MappingRead again = parseMapping(bindingLine(b));
        check(again.errors.empty() && !again.mapping.bindings.empty());
        const Binding& back = again.mapping.bindings.front();
        check(back.action == b.action && back.argument == b.argument &&
              back.message.kind == m.kind && back.message.channel == m.channel &&
              back.message.number == m.number && back.mode == b.mode &&
              back.encoding == b.encoding && back.shifted == b.shifted && back.invert == b.invert &&
              back.takeover == b.takeover);
    }
    Nothing target;
    MappingEngine engine(read.mapping, target);
    for (int status = 0x80; status < 0xF0; status += 0x10)
        for (int channel = 0; channel < 16; channel += 5)
            for (int d1 = 0; d1 < 128; d1 += 7) {
                const uint8_t bytes[] = {static_cast<uint8_t>(status + channel),
                                         static_cast<uint8_t>(d1),
                                         static_cast<uint8_t>((d1 * 37) & 0x7F)};
                engine.handle(MidiMessage::fromBytes(bytes, sizeof bytes));
            }
    Drop out;
    engine.updateLights({DeckLights{true, false, true, false}, DeckLights{}}, out);
    return 0;
}
