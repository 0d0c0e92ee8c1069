// Allocations made on the sound thread while a deck plays and seeks real files of every
// format and of rates that need converting: every malloc, calloc, realloc and aligned
// allocation made from inside a pass (the readers, libsoxr, libmpg123, libsndfile and its
// codecs included) is counted (support/AllocationCount.h). Also the passes' cost with
// those readers.

#include <benchmark/benchmark.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "audio/CaptureOutput.h"
#include "audio/DeckPair.h"
#include "audio/SoundThread.h"
#include "library/TrackDatabase.h"
#include "platform/settings/Settings.h"
#include "support/AllocationCount.h"
#include "tools/synth/Synth.h"

namespace spinlorex {
namespace {

class QuietDesk : public DeskControl, public DeskNotifier, public CaptureSink {
public:
    void setDeckPitch(int, int32_t) override {}
    void setDeckLevel(int, int32_t) override {}
    void setDeckStatus(int, uint32_t code) override { status = code; }
    int32_t pitchMin() const override { return 2730; }
    int32_t pitchMax() const override { return 5462; }
    void post(int, int) override {}
    void captured(int, const int16_t*, int32_t) override {}
    std::atomic<uint32_t> status{0};
};

const std::string& trackOf(int kind) {
    static const std::vector<std::string> paths = [] {
        const auto dir = std::filesystem::temp_directory_path();
        std::vector<std::string> p;
        const struct {
            const char* name;
            int32_t rate;
        } files[] = {{"spinlorex-alloc-48k.wav", 48000},
                     {"spinlorex-alloc-32k.mp3", 32000},
                     {"spinlorex-alloc-96k.flac", 96000},
                     {"spinlorex-alloc.ogg", 44100},
                     {"spinlorex-alloc.opus", 48000}};
        for (const auto& f : files) {
            const std::string path = (dir / f.name).string();
            const std::vector<float> music =
                synth::render({.bpm = 126, .seconds = 60, .sampleRate = f.rate});
            const std::string name = f.name;
            if (name.ends_with(".wav"))
                synth::writeWav(path, music, f.rate, 2, 16);
            else if (name.ends_with(".mp3"))
                synth::writeMp3(path, music, f.rate, 2, 192);
            else
                synth::writeSndfile(path, music, f.rate, 2, 24);
            p.push_back(path);
        }
        return p;
    }();
    return paths[static_cast<size_t>(kind)];
}

void BM_SoundThreadOnRealFiles(benchmark::State& state) {
    settings().resetToDefaults();
    set(settings().autoBpm, 0);
    set(settings().masterTempo, state.range(1) != 0 ? 1 : 0);
    set(settings().masterTempoQuality, state.range(1) == 2 ? 1 : 0);
    QuietDesk desk;
    TrackDatabase database;
    DeckPair decks(database, desk, desk);
    CaptureOutput output(decks, desk);
    decks.setOutput(&output);
    SoundThread sound(output, decks);
    DeckStream& deck = decks[0];
    int64_t mallocs = 0;
    auto serve = [&](auto operation) {
        std::atomic<bool> done{false};
        std::thread caller([&] {
            operation();
            done = true;
        });
        while (!done) mallocs += test::allocationsIn([&] { sound.runPass(); });
        caller.join();
    };
    serve([&] {
        TrackEntry entry;
        entry.path = trackOf(static_cast<int>(state.range(0)));
        deck.loadTrack(entry);
        deck.setPitch(4424);
        deck.seekAndPlay(0.0f);
    });
    // Loading allocates (on the loading thread, before the first pass that plays).
    mallocs = 0;
    int64_t passes = 0;
    double nanos = 0;
    uint32_t seed = 7;
    for (auto _ : state) {
        for (int seek = 0; seek < 20; ++seek) {
            for (int i = 0; i < 200; ++i) {
                const auto t0 = std::chrono::steady_clock::now();
                mallocs += test::allocationsIn([&] { sound.runPass(); });
                nanos +=
                    std::chrono::duration<double, std::nano>(std::chrono::steady_clock::now() - t0)
                        .count();
                ++passes;
            }
            seed = seed * 1664525u + 1013904223u;
            const float to = static_cast<float>(seed >> 8) / static_cast<float>(1 << 24) * 0.95f;
            serve([&] { deck.seekAndPlay(to); });
        }
    }
    state.counters["sound_thread_mallocs"] =
        test::kAllocationsCounted ? static_cast<double>(mallocs) : -1.0;
    state.counters["pass_us"] = nanos / static_cast<double>(passes) / 1000.0;
    state.counters["status"] = desk.status.load();
    static const char* const kNames[] = {"48 kHz WAV", "32 kHz MP3", "96 kHz FLAC", "Ogg Vorbis",
                                         "Opus"};
    state.SetLabel(std::string(kNames[state.range(0)]) + (state.range(1) == 2
                                                              ? ", master tempo High"
                                                          : state.range(1) != 0 ? ", master tempo"
                                                                                : ", varispeed"));
    settings().resetToDefaults();
}
BENCHMARK(BM_SoundThreadOnRealFiles)
    ->ArgsProduct({{0, 1, 2, 3, 4}, {0, 1, 2}})
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace spinlorex
