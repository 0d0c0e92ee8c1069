// Render passes of a deck playing a generated track: varispeed and master tempo at +8 %
// and +34 %. Each iteration is one pass as the sound thread runs it, the decoding and
// analysis of the blocks it needs included.

#include <benchmark/benchmark.h>

#include <atomic>
#include <filesystem>
#include <thread>

#include "audio/CaptureOutput.h"
#include "audio/DeckPair.h"
#include "audio/SoundThread.h"
#include "library/TrackDatabase.h"
#include "platform/settings/Settings.h"
#include "tools/synth/Synth.h"

namespace spinlorex {
namespace {

class BenchDesk : public DeskControl, public DeskNotifier, public CaptureSink {
public:
    void setDeckPitch(int, int32_t) override {}
    void setDeckLevel(int, int32_t) override {}
    void setDeckStatus(int, uint32_t) override {}
    int32_t pitchMin() const override { return 2730; }
    int32_t pitchMax() const override { return 5462; }
    void post(int, int) override {}
    void captured(int, const int16_t*, int32_t) override {}
};

const std::string& benchTrack() {
    static const std::string path = [] {
        const auto p =
            (std::filesystem::temp_directory_path() / "spinlorex-bench-render.wav").string();
        synth::Params params;
        params.bpm = 126;
        params.seconds = 60;
        synth::writeWav(p, synth::render(params), 44100, 2, 16);
        return p;
    }();
    return path;
}

void renderPasses(benchmark::State& state, bool masterTempo, int32_t pitch) {
    set(settings().masterTempo, masterTempo ? 1 : 0);
    set(settings().autoBpm, 0);
    BenchDesk desk;
    TrackDatabase database;
    DeckPair decks(database, desk, desk);
    CaptureOutput output(decks, desk);
    decks.setOutput(&output);
    SoundThread sound(output, decks);
    DeckStream& deck = decks[0];

    // Caller operations need the sound loop; serve them from this thread.
    auto serve = [&](auto operation) {
        std::atomic<bool> done{false};
        std::thread caller([&] {
            operation();
            done = true;
        });
        while (!done) sound.runPass();
        caller.join();
    };
    serve([&] {
        TrackEntry entry;
        entry.path = benchTrack();
        deck.loadTrack(entry);
        deck.setPitch(pitch);
    });

    int64_t frames = 0;
    for (auto _ : state) {
        // Everything rendered so far has been heard; render the next chunk.
        deck.updateHeardPosition(deck.renderer().writeIndex());
        const int32_t before = deck.renderer().writeIndex();
        if (!deck.renderPass() || deck.position() > 0.95f) {
            state.PauseTiming();
            serve([&] { deck.seekAndPlay(0.0f); });
            state.ResumeTiming();
            continue;
        }
        frames += (deck.renderer().writeIndex() - before + DeckStream::kOutputFrames) %
                  DeckStream::kOutputFrames;
    }
    state.counters["frames/s"] =
        benchmark::Counter(static_cast<double>(frames), benchmark::Counter::kIsRate);
    settings().resetToDefaults();
}

void BM_RenderPassVarispeed4424(benchmark::State& s) { renderPasses(s, false, 4424); }
void BM_RenderPassVarispeed5462(benchmark::State& s) { renderPasses(s, false, 5462); }
void BM_RenderPassMasterTempo4424(benchmark::State& s) { renderPasses(s, true, 4424); }
void BM_RenderPassMasterTempo5462(benchmark::State& s) { renderPasses(s, true, 5462); }

BENCHMARK(BM_RenderPassVarispeed4424);
BENCHMARK(BM_RenderPassVarispeed5462);
BENCHMARK(BM_RenderPassMasterTempo4424);
BENCHMARK(BM_RenderPassMasterTempo5462);

}  // namespace
}  // namespace spinlorex
