// Allocations made on the sound thread while a deck plays and seeks real files of every
// format and of rates that need converting: every malloc, calloc, realloc and aligned
// allocation made from inside a pass (the readers, libsoxr, libmpg123, libsndfile and its
// codecs included) is counted by replacing the C allocator's entry points in this program.
// Also the passes' cost with those readers.
//
// Under AddressSanitizer the sanitizer owns the allocator: nothing is counted there.

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
#include "tools/synth/Synth.h"

#if defined(__SANITIZE_ADDRESS__)
#define SPINLOREX_COUNT_MALLOC 0
#else
#define SPINLOREX_COUNT_MALLOC 1
#endif

namespace {

thread_local bool t_countMallocs = false;
std::atomic<int64_t> g_mallocs{0};

}  // namespace

#if SPINLOREX_COUNT_MALLOC
namespace {
void counted() {
    if (t_countMallocs) g_mallocs.fetch_add(1, std::memory_order_relaxed);
}
}  // namespace

extern "C" {
void* __libc_malloc(size_t);
void* __libc_calloc(size_t, size_t);
void* __libc_realloc(void*, size_t);
void* __libc_memalign(size_t, size_t);
void __libc_free(void*);

void* malloc(size_t size) {
    counted();
    return __libc_malloc(size);
}
void* calloc(size_t n, size_t size) {
    counted();
    return __libc_calloc(n, size);
}
void* realloc(void* p, size_t size) {
    counted();
    return __libc_realloc(p, size);
}
void* memalign(size_t alignment, size_t size) {
    counted();
    return __libc_memalign(alignment, size);
}
void* aligned_alloc(size_t alignment, size_t size) {
    counted();
    return __libc_memalign(alignment, size);
}
int posix_memalign(void** out, size_t alignment, size_t size) {
    counted();
    *out = __libc_memalign(alignment, size);
    return *out != nullptr ? 0 : 12;  // ENOMEM
}
void free(void* p) { __libc_free(p); }
}
#endif

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
    auto serve = [&](auto operation) {
        std::atomic<bool> done{false};
        std::thread caller([&] {
            operation();
            done = true;
        });
        while (!done) {
            t_countMallocs = true;
            sound.runPass();
            t_countMallocs = false;
        }
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
    g_mallocs = 0;
    int64_t passes = 0;
    double nanos = 0;
    uint32_t seed = 7;
    for (auto _ : state) {
        for (int seek = 0; seek < 20; ++seek) {
            for (int i = 0; i < 200; ++i) {
                const auto t0 = std::chrono::steady_clock::now();
                t_countMallocs = true;
                sound.runPass();
                t_countMallocs = false;
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
        SPINLOREX_COUNT_MALLOC ? static_cast<double>(g_mallocs.load()) : -1.0;
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
