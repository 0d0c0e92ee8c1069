// The sound thread's passes with both decks playing at +8 % in master tempo, analysing,
// in the soft mix, on a four-channel card and on two cards, over ten simulated minutes on the null
// backend's manual clock: the pass time's percentiles, the share of one core, the allocations made
// on the sound thread (support/AllocationCount.h), and how soon a level change is heard.

#include <benchmark/benchmark.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <thread>
#include <vector>

#include "audio/AudioEngine.h"
#include "audio/DeckPair.h"
#include "library/TrackDatabase.h"
#include "platform/core/WavFileWriter.h"
#include "platform/settings/Settings.h"
#include "platform/sound/SoundBackends.h"
#include "support/AllocationCount.h"
#include "tools/synth/Synth.h"

namespace spinlorex {
namespace {

// A long track made by looping a generated stretch of music: decoding costs about what a
// WAV file's does, the analyser sees real music.
class LoopReader : public TrackReader {
public:
    explicit LoopReader(const std::vector<int16_t>& loop) : loop_(loop) {}
    int32_t open(const std::string&) override {
        next_ = 0;
        duration_ = kSeconds;
        fileSize_ = 1;
        return duration_;
    }
    void close() override {}
    int32_t decodeBlock(int16_t* dest) override {
        const int64_t total = static_cast<int64_t>(kSeconds) * 44100;
        if (next_ + 1152 > total) return kEnd;
        const size_t loopFrames = loop_.size() / 2;
        for (int32_t i = 0; i < 1152; ++i) {
            const size_t at = static_cast<size_t>(next_ + i) % loopFrames;
            dest[2 * i] = loop_[2 * at];
            dest[2 * i + 1] = loop_[2 * at + 1];
        }
        next_ += 1152;
        position_ = static_cast<float>(static_cast<double>(next_) / static_cast<double>(total));
        return kDone;
    }
    int32_t seek(float fraction) override {
        next_ = static_cast<int64_t>(fraction * kSeconds * 44100.0) / 1152 * 1152;
        position_ = fraction;
        return 1;
    }

private:
    static constexpr int32_t kSeconds = 15 * 60;
    const std::vector<int16_t>& loop_;
    int64_t next_ = 0;
};

class QuietDesk : public DeskControl, public DeskNotifier {
public:
    DeckPair* decks = nullptr;
    void setDeckPitch(int d, int32_t p) override { (*decks)[d].setPitch(p); }
    void setDeckLevel(int d, int32_t v) override { (*decks)[d].setLevel(v); }
    void setDeckStatus(int, uint32_t) override {}
    int32_t pitchMin() const override { return 2730; }
    int32_t pitchMax() const override { return 5462; }
    void post(int, int) override {}
};

DeckStream::Readers loopReaders(const std::vector<int16_t>& loop) {
    DeckStream::Readers r;
    r.wav = std::make_unique<LoopReader>(loop);
    r.mp3 = std::make_unique<LoopReader>(loop);
    return r;
}

// Two cards, each a null device on a manual clock of its own; the second card's clock runs
// 0.1 % fast, so that keeping it in step has work to do.
class TwoCardSystem : public sound::SoundSystem {
public:
    std::shared_ptr<sound::ManualClock> clocks[2] = {std::make_shared<sound::ManualClock>(),
                                                     std::make_shared<sound::ManualClock>()};
    const sound::DeviceId ids[2] = {sound::deviceIdFor("bench", "card 1"),
                                    sound::deviceIdFor("bench", "card 2")};

    const char* backendName() const override { return "two cards"; }
    std::vector<sound::DeviceInfo> devices() override {
        return {{"card 1", ids[0], true, 4}, {"card 2", ids[1], false, 4}};
    }
    std::unique_ptr<sound::SoundDevice> open(const std::optional<sound::DeviceId>& id,
                                             int32_t channels, bool exclusive,
                                             sound::SoundError& error) override {
        return cards_[id == ids[1] ? 1 : 0]->open(std::nullopt, channels, exclusive, error);
    }
    // Plays `frames` frames of the first card and what the second plays meanwhile.
    void advance(int64_t frames) {
        elapsed_ += frames;
        clocks[0]->advance(frames);
        clocks[1]->advance(elapsed_ * 1001 / 1000 - clocks[1]->elapsedFrames());
    }

private:
    std::unique_ptr<sound::SoundSystem> cards_[2] = {sound::createNullSystem(clocks[0]),
                                                     sound::createNullSystem(clocks[1])};
    int64_t elapsed_ = 0;
};

// Both decks in master tempo of `quality` (0 Standard, 1 High) through output `mode` (1 soft
// mix; 3, 9 a four-channel card; 2, 4, 8 two cards); with `loopBeats`, each deck loops this
// many beats of its track from its first second (0: none); with `scratching`, a hand holds
// deck 1's wheel and turns it back and forth, a quarter second each way at about 2.7 times
// the speed, the wheel's ticks arriving with every pass.
void soundThreadPasses(benchmark::State& state, int64_t mode, int32_t quality, double loopBeats = 0,
                       bool scratching = false) {
    settings().resetToDefaults();
    set(settings().masterTempo, 1);
    set(settings().masterTempoQuality, quality);
    set(settings().outputMode, static_cast<int32_t>(mode));
    set(settings().multiInstance, 1);
    set(settings().autoBpm, 0);
    synth::Params params;
    params.bpm = 126;
    params.seconds = 20;
    static const std::vector<int16_t> loopA = synth::toPcm16(synth::render(params));
    params.bpm = 124;
    params.seed = 2;
    static const std::vector<int16_t> loopB = synth::toPcm16(synth::render(params));

    TwoCardSystem system;
    settings().soundCardGuid = system.ids[0];
    settings().soundCard2Guid = system.ids[1];
    TwoCardSystem* clock = &system;
    TrackDatabase database;
    QuietDesk desk;
    DeckPair decks(database, desk, desk, loopReaders(loopA), loopReaders(loopB));
    desk.decks = &decks;
    AudioEngine engine(decks, system, nullptr);
    if (!engine.start(AudioEngine::Threading::Manual) || engine.secondCardMessage() != nullptr) {
        state.SkipWithError("the engine did not start");
        return;
    }
    // Caller operations are served by passes run here, as the sound thread would.
    auto serve = [&](auto operation) {
        std::atomic<bool> done{false};
        std::thread caller([&] {
            operation();
            done = true;
        });
        while (!done) {
            clock->advance(44);
            engine.runPass();
        }
        caller.join();
    };
    serve([&] {
        for (int d = 0; d < 2; ++d) {
            TrackEntry entry;
            entry.path = d == 0 ? "a.wav" : "b.wav";
            decks[d].loadTrack(entry);
            decks[d].setPitch(4424);
            if (loopBeats > 0)
                decks[d].setLoop({44100, loopBeats * 44100.0 * 60.0 / (d == 0 ? 126 : 124)},
                                 DeckStream::LoopEntry::Restart);
            decks[d].play();
        }
        if (scratching) decks[0].touchWheel(true);
    });

    // Ten simulated minutes of 1 ms passes (44 frames each; 441 every tenth pass keeps
    // the clock exact at 44.1 frames per millisecond).
    constexpr int64_t kPasses = 10 * 60 * 1000;
    std::vector<int64_t> nanos;
    nanos.reserve(kPasses);
    int64_t allocations = 0;
    for (auto _ : state) {
        for (int64_t i = 0; i < kPasses; ++i) {
            clock->advance(i % 10 == 9 ? 45 : 44);
            if (scratching) decks[0].turnWheel((i / 250) % 2 == 0 ? 0.0015 : -0.0015);
            const auto t0 = std::chrono::steady_clock::now();
            allocations += test::allocationsIn([&] { engine.runPass(); });
            nanos.push_back(std::chrono::duration_cast<std::chrono::nanoseconds>(
                                std::chrono::steady_clock::now() - t0)
                                .count());
        }
    }
    std::vector<int64_t> sorted = nanos;
    std::sort(sorted.begin(), sorted.end());
    auto pct = [&](double p) {
        return static_cast<double>(
                   sorted[static_cast<size_t>(p * static_cast<double>(sorted.size() - 1))]) /
               1000.0;
    };
    double total = 0;
    for (int64_t n : nanos) total += static_cast<double>(n);
    state.counters["p50_us"] = pct(0.50);
    state.counters["p99_us"] = pct(0.99);
    state.counters["max_us"] = static_cast<double>(sorted.back()) / 1000.0;
    state.counters["core_share_%"] = 100.0 * total / (static_cast<double>(kPasses) * 1e6);
    state.counters["sound_thread_allocs"] =
        test::kAllocationsCounted ? static_cast<double>(allocations) : -1.0;
    state.counters["deck1_position"] = decks[0].position();
    engine.stop();
    settings().resetToDefaults();
}

void BM_SoundThreadPass(benchmark::State& state) { soundThreadPasses(state, state.range(0), 0); }
// The same in the soft mix with master tempo in quality High.
void BM_SoundThreadPassHigh(benchmark::State& state) { soundThreadPasses(state, 1, 1); }
BENCHMARK(BM_SoundThreadPassHigh)->Iterations(1)->Unit(benchmark::kMillisecond);
void BM_ScratchingPass(benchmark::State& state) { soundThreadPasses(state, 1, 0, 0, true); }
BENCHMARK(BM_ScratchingPass)->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SoundThreadPass)
    ->ArgName("mode")
    ->Arg(1)
    ->Arg(3)
    ->Arg(9)
    ->Arg(2)
    ->Arg(4)
    ->Arg(8)
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond);

// Both decks looping one beat in master tempo at +8 %, the soft mix: every 21,000 frames a
// join with its crossfade.
void BM_SoundThreadPassLoopingOneBeat(benchmark::State& state) {
    soundThreadPasses(state, 1, 0, 1.0);
}
BENCHMARK(BM_SoundThreadPassLoopingOneBeat)->Iterations(1)->Unit(benchmark::kMillisecond);

// The samples of a WAV file the WAV backend wrote, and the file gone.
std::vector<int16_t> takeWavSamples(const std::string& path) {
    std::vector<int16_t> samples;
    if (std::FILE* f = std::fopen(path.c_str(), "rb")) {
        std::fseek(f, static_cast<long>(WavFileWriter::kDataOffset), SEEK_SET);
        int16_t buf[4096];
        size_t n;
        while ((n = std::fread(buf, 2, 4096, f)) > 0) samples.insert(samples.end(), buf, buf + n);
        std::fclose(f);
    }
    std::remove(path.c_str());
    return samples;
}

// Two decks reading `track` into the WAV backend's file at `path`, on a clock the caller
// advances: what the heard-after benchmarks measure in.
struct WavDecks {
    WavDecks(const std::string& path, const std::vector<int16_t>& track)
        : system(sound::createWavSystem(path, clock)),
          decks(database, desk, desk, loopReaders(track), loopReaders(track)),
          engine(decks, *system, nullptr) {
        desk.decks = &decks;
    }
    std::shared_ptr<sound::ManualClock> clock = std::make_shared<sound::ManualClock>();
    std::unique_ptr<sound::SoundSystem> system;
    TrackDatabase database;
    QuietDesk desk;
    DeckPair decks;
    AudioEngine engine;
};

// How long after a level change the soft mix's output changes: one deck plays into the WAV
// backend, its level drops to 0 at a known frame, and the file shows when silence begins.
void BM_LevelChangeHeard(benchmark::State& state) {
    settings().resetToDefaults();
    set(settings().outputMode, 1);
    set(settings().multiInstance, 1);
    set(settings().autoBpm, 0);
    synth::Params params;
    params.seconds = 5;
    static const std::vector<int16_t> loop = synth::toPcm16(synth::render(params));
    const std::string path = "/tmp/spinlorex-bench-latency.wav";
    int64_t changeAt = 0;
    {
        WavDecks w(path, loop);
        if (!w.engine.start(AudioEngine::Threading::Manual)) {
            state.SkipWithError("the engine did not start");
            return;
        }
        auto& clock = w.clock;
        DeckPair& decks = w.decks;
        AudioEngine& engine = w.engine;
        auto pass = [&] {
            clock->advance(44);
            engine.runPass();
        };
        std::atomic<bool> done{false};
        std::thread caller([&] {
            TrackEntry entry;
            entry.path = "a.wav";
            decks[0].loadTrack(entry);
            decks[0].play();
            done = true;
        });
        while (!done) pass();
        caller.join();
        for (int i = 0; i < 1000; ++i) pass();
        for (auto _ : state) {
            changeAt = clock->elapsedFrames();
            decks[0].setLevel(0);
            for (int i = 0; i < 300; ++i) pass();
        }
        engine.stop();
    }
    // The first frame from which the output stays silent.
    const std::vector<int16_t> samples = takeWavSamples(path);
    int64_t silentFrom = static_cast<int64_t>(samples.size() / 2);
    while (silentFrom > 0 && samples[static_cast<size_t>(2 * (silentFrom - 1))] == 0 &&
           samples[static_cast<size_t>(2 * (silentFrom - 1) + 1)] == 0)
        --silentFrom;
    state.counters["heard_after_ms"] =
        static_cast<double>(silentFrom - changeAt) * 1000.0 / 44100.0;
    settings().resetToDefaults();
}
BENCHMARK(BM_LevelChangeHeard)->Iterations(1)->Unit(benchmark::kMillisecond);

// How long after a hot cue's jump the soft mix plays from the cue: the track is five seconds
// of music and then silence; a deck plays the silence from 6 s, jumps to 1 s, and the file
// shows when the music begins. The jump's fade-in starts at once, so its first sound is the
// jump. The passes keep a card's pace (44 frames a millisecond).
void BM_HotCueJumpHeard(benchmark::State& state) {
    settings().resetToDefaults();
    set(settings().outputMode, 1);
    set(settings().multiInstance, 1);
    set(settings().autoBpm, 0);
    synth::Params params;
    params.seconds = 5;
    static const std::vector<int16_t> track = [&] {
        std::vector<int16_t> pcm = synth::toPcm16(synth::render(params));
        pcm.resize(pcm.size() * 2, 0);
        return pcm;
    }();
    const std::string path = "/tmp/spinlorex-bench-hotcue.wav";
    int64_t jumpAt = 0;
    {
        WavDecks w(path, track);
        if (!w.engine.start(AudioEngine::Threading::Manual)) {
            state.SkipWithError("the engine did not start");
            return;
        }
        auto& clock = w.clock;
        DeckPair& decks = w.decks;
        AudioEngine& engine = w.engine;
        // Passes at the pace a card would ask for them: the jump's new audio is decoded on
        // the deck's reading thread, in wall time.
        auto due = std::chrono::steady_clock::now();
        auto pass = [&] {
            due += std::chrono::microseconds(998);
            std::this_thread::sleep_until(due);
            clock->advance(44);
            engine.runPass();
        };
        auto serve = [&](auto operation) {
            std::atomic<bool> done{false};
            std::thread caller([&] {
                operation();
                done = true;
            });
            while (!done) pass();
            caller.join();
        };
        serve([&] {
            TrackEntry entry;
            entry.path = "a.wav";
            decks[0].loadTrack(entry);
            decks[0].play();
            decks[0].seekToFrame(44100 * 6);
        });
        for (int i = 0; i < 1000; ++i) pass();
        for (auto _ : state) {
            jumpAt = clock->elapsedFrames();
            serve([&] { decks[0].seekToFrame(44100); });
            for (int i = 0; i < 300; ++i) pass();
        }
        engine.stop();
    }
    const std::vector<int16_t> samples = takeWavSamples(path);
    auto heardFrom = static_cast<int64_t>(samples.size() / 2);
    for (int64_t i = jumpAt; i < static_cast<int64_t>(samples.size() / 2); ++i)
        if (samples[static_cast<size_t>(2 * i)] != 0 ||
            samples[static_cast<size_t>(2 * i + 1)] != 0) {
            heardFrom = i;
            break;
        }
    int64_t soundBefore = 0;  // the silence must be silent for the measure to hold
    for (int64_t i = jumpAt - 22050; i < jumpAt && 2 * i + 1 < static_cast<int64_t>(samples.size());
         ++i)
        soundBefore += samples[static_cast<size_t>(2 * i)] != 0 ? 1 : 0;
    state.counters["frames_heard_before"] = static_cast<double>(soundBefore);
    state.counters["heard_after_ms"] = static_cast<double>(heardFrom - jumpAt) * 1000.0 / 44100.0;
    settings().resetToDefaults();
}
BENCHMARK(BM_HotCueJumpHeard)->Iterations(1)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace spinlorex
