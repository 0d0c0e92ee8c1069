// A controller's stream through the mapping engine: a jog wheel and two faders (one 14-bit)
// with soft takeover, as the MIDI thread handles them. The time per message, times 1,000,
// is the share of a core that 1,000 messages a second cost before the desk acts on them.

#include <benchmark/benchmark.h>

#include <array>

#include "midi/MappingEngine.h"

namespace {

using namespace spinlorex::midi;

struct Sink : ControlTarget {
    double total = 0;
    void button(Action, int, int, bool) override {}
    void position(Action, int, double p) override { total += p; }
    void step(Action, int, double s) override { total += s; }
    std::optional<double> deskPosition(Action, int) const override { return total > 0 ? 0.5 : 0.4; }
};

void BM_ControllerMessages(benchmark::State& state) {
    const MappingRead read = parseMapping(
        "bind decks jog cc 1 0x19 offset64\n"
        "bind decks volume cc 1 0x07\n"
        "bind decks pitch cc14 1 0x0D 0x2D\n");
    Sink sink;
    MappingEngine engine(read.mapping, sink);
    std::array<MidiMessage, 8> stream{};
    const uint8_t raw[8][3] = {{0xB0, 0x19, 0x41}, {0xB0, 0x07, 0x40}, {0xB0, 0x19, 0x42},
                               {0xB0, 0x0D, 0x40}, {0xB0, 0x2D, 0x11}, {0xB0, 0x19, 0x3F},
                               {0xB0, 0x07, 0x41}, {0xB1, 0x19, 0x41}};
    for (std::size_t i = 0; i < stream.size(); ++i) stream[i] = MidiMessage::fromBytes(raw[i], 3);
    std::size_t at = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(engine.handle(stream[at]));
        at = (at + 1) % stream.size();
    }
    benchmark::DoNotOptimize(sink.total);
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_ControllerMessages);

}  // namespace
