// Tempo known before the first play: a 5-minute 192 kbit/s MP3 is loaded on deck 2 while
// deck 1 plays at +8 % in master tempo, and the background analysis reads it whole. The
// sound thread's passes run in real time, one each millisecond as the sound thread paces
// them, on the null backend's manual clock. Reported: how long after the load the result
// was ready, and the pass time's percentiles while the analysis ran, for as long again
// afterwards, and after a load of the same file without the background analysis.

#include <benchmark/benchmark.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "audio/AudioEngine.h"
#include "audio/DeckPair.h"
#include "desk/BackgroundAnalysis.h"
#include "library/TrackDatabase.h"
#include "platform/settings/Settings.h"
#include "platform/sound/SoundBackends.h"
#include "tools/synth/Synth.h"

namespace spinlorex {
namespace {

using Clock = std::chrono::steady_clock;

class Desk : public DeskControl, public DeskNotifier {
public:
    DeckPair* decks = nullptr;
    void setDeckPitch(int d, int32_t p) override { (*decks)[d].setPitch(p); }
    void setDeckLevel(int d, int32_t v) override { (*decks)[d].setLevel(v); }
    void setDeckStatus(int, uint32_t) override {}
    int32_t pitchMin() const override { return 2730; }
    int32_t pitchMax() const override { return 5462; }
    void post(int, int) override {}
};

struct Ready : AnalysisWorker::Listener {
    std::atomic<bool> ready{false};
    Clock::time_point at;
    void analysisReady() override {
        at = Clock::now();
        ready.store(true, std::memory_order_release);
    }
};

double percentile(std::vector<int64_t> nanos, double p) {
    if (nanos.empty()) return 0.0;
    std::sort(nanos.begin(), nanos.end());
    return static_cast<double>(
               nanos[static_cast<size_t>(p * static_cast<double>(nanos.size() - 1))]) /
           1000.0;
}

void BM_BackgroundAnalysisOfANewTrack(benchmark::State& state) {
    settings().resetToDefaults();
    set(settings().masterTempo, 1);
    set(settings().outputMode, 1);
    set(settings().multiInstance, 1);
    const std::string mp3 = "/tmp/spinlorex-bench-background.mp3";
    const std::string loop = "/tmp/spinlorex-bench-background-loop.wav";
    const std::string baseline = "/tmp/spinlorex-bench-background-alone.mp3";
    synth::Params params;
    params.bpm = 128;
    params.seconds = 300;
    params.introBeats = 32;
    if (!synth::writeMp3(mp3, synth::render(params), 44100, 2, 192) ||
        !synth::writeWav(loop, synth::render({.bpm = 126, .seconds = 300, .seed = 2}), 44100, 2,
                         16)) {
        state.SkipWithError("cannot write the tracks");
        return;
    }
    std::error_code failed;
    std::filesystem::copy_file(mp3, baseline, std::filesystem::copy_options::overwrite_existing,
                               failed);

    auto clock = std::make_shared<sound::ManualClock>();
    std::unique_ptr<sound::SoundSystem> system = sound::createNullSystem(clock);
    TrackDatabase database;
    Desk desk;
    DeckPair decks(database, desk, desk);
    desk.decks = &decks;
    AudioEngine engine(decks, *system, nullptr);
    Ready ready;
    BackgroundAnalysis analysis(decks, database, ready);
    if (!engine.start(AudioEngine::Threading::Manual)) {
        state.SkipWithError("the engine did not start");
        return;
    }
    int64_t pass = 0;
    std::vector<int64_t>* timing = nullptr;
    const auto runPass = [&] {
        clock->advance(pass++ % 10 == 9 ? 45 : 44);
        const auto t0 = Clock::now();
        engine.runPass();
        if (timing != nullptr) timing->push_back((Clock::now() - t0).count());
    };
    // The main thread's calls are served by passes run here, as the sound thread would.
    const auto serve = [&](auto operation) {
        std::atomic<bool> done{false};
        std::thread caller([&] {
            operation();
            done = true;
        });
        while (!done) runPass();
        caller.join();
    };
    // Real-time passes, one per millisecond, until `until` holds.
    const auto playUntil = [&](auto until) {
        auto next = Clock::now();
        while (!until()) {
            runPass();
            next += std::chrono::milliseconds(1);
            std::this_thread::sleep_until(next);
        }
    };

    serve([&] {
        decks[0].loadTrack(TrackEntry{"", "", loop, nullptr});
        decks[0].setPitch(4424);
        decks[0].play();
    });
    playUntil([&, n = 0]() mutable { return ++n > 1000; });

    // The same load without the background analysis: what the deck's own decoding ahead
    // and live analysis of a new track cost the passes.
    std::vector<int64_t> alone;
    serve([&] { decks[1].loadTrack(TrackEntry{"", "", baseline, nullptr}); });
    timing = &alone;
    playUntil([&, n = 0]() mutable { return ++n > 400; });
    timing = nullptr;

    std::vector<int64_t> during, after;
    double readyMs = 0.0;
    float bpm = 0.0f;
    for (auto _ : state) {
        Clock::time_point loaded;
        serve([&] {
            decks[1].loadTrack(TrackEntry{"", "", mp3, nullptr});
            loaded = Clock::now();
            analysis.deckLoaded(1);
        });
        timing = &during;
        playUntil([&] { return ready.ready.load(std::memory_order_acquire); });
        readyMs = std::chrono::duration<double, std::milli>(ready.at - loaded).count();
        timing = &after;
        playUntil([&, n = size_t{0}]() mutable { return ++n > during.size(); });
        timing = nullptr;
        serve([&] { analysis.deliver(); });
        bpm = decks[1].track()->record->currentBpm();
    }
    state.counters["ready_after_ms"] = readyMs;
    state.counters["bpm"] = bpm;
    state.counters["passes_during"] = static_cast<double>(during.size());
    state.counters["p50_during_us"] = percentile(during, 0.50);
    state.counters["p99_during_us"] = percentile(during, 0.99);
    state.counters["max_during_us"] = percentile(during, 1.0);
    state.counters["p99_after_us"] = percentile(after, 0.99);
    state.counters["p99_load_alone_us"] = percentile(alone, 0.99);
    state.counters["max_load_alone_us"] = percentile(alone, 1.0);
    analysis.shutdown();
    engine.stop();
    std::remove(mp3.c_str());
    std::remove(loop.c_str());
    std::remove(baseline.c_str());
    settings().resetToDefaults();
}
BENCHMARK(BM_BackgroundAnalysisOfANewTrack)->Iterations(1)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace spinlorex
