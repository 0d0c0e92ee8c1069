// What the beat grid and the waveform summary and the key add to the whole-track analysis: the pass
// over a 5-minute track (decoding, the beat analyser, and with the grid, the level kept per 16
// frames and the fit at the end), with the grid and without. As a 192 kbit/s MP3, as the library's
// background analysis mostly meets tracks, and as a WAV file, where decoding costs least and the
// grid's share is largest.

#include <benchmark/benchmark.h>

#include <array>
#include <chrono>
#include <string>

#include "analysis/BeatGridFit.h"
#include "analysis/OnsetEnvelope.h"
#include "audio/Mp3Reader.h"
#include "audio/WavReader.h"
#include "audio/WholeTrackAnalysis.h"
#include "tools/synth/Synth.h"

namespace spinlorex {
namespace {

const std::string& track(bool mp3) {
    static const std::array<std::string, 2> paths = [] {
        const std::vector<float> music =
            synth::render({.bpm = 126.4, .seconds = 300, .introBeats = 32, .startOffset = 0.01});
        const std::string wav = "/tmp/spinlorex-bench-grid.wav";
        const std::string mp3 = "/tmp/spinlorex-bench-grid.mp3";
        if (!synth::writeWav(wav, music, 44100, 2, 16) ||
            !synth::writeMp3(mp3, music, 44100, 2, 192))
            return std::array<std::string, 2>{};
        return std::array<std::string, 2>{wav, mp3};
    }();
    return paths[mp3 ? 1u : 0u];
}

// A reader of each kind for a benchmark's passes.
struct PassReaders {
    Mp3Reader mp3Reader;
    WavReader wavReader;
    TrackReader& of(bool mp3) { return mp3 ? static_cast<TrackReader&>(mp3Reader) : wavReader; }
};

// Arguments: MP3 (1) or WAV (0); with the grid (1) or without (0); with the key (1) or
// without (0).
void BM_WholeTrackPass(benchmark::State& state) {
    const bool mp3 = state.range(0) != 0;
    const bool grid = state.range(1) != 0;
    const bool key = state.range(2) != 0;
    const std::string& path = track(mp3);
    if (path.empty()) {
        state.SkipWithError("cannot write the track");
        return;
    }
    PassReaders readers;
    TrackReader& reader = readers.of(mp3);
    for (auto _ : state) {
        const WholeTrackResult result = analyseWholeTrack(
            reader, path, nullptr, {.fitGrid = grid, .summarise = false, .detectKey = key});
        benchmark::DoNotOptimize(result.grid.fit);
        if (grid && result.grid.empty()) state.SkipWithError("no grid");
    }
    state.SetLabel(std::string(mp3 ? "mp3" : "wav") + (grid ? ", with the grid" : ", without") +
                   (key ? ", with the key" : ""));
}
BENCHMARK(BM_WholeTrackPass)
    ->ArgsProduct({{1, 0}, {0, 1}, {0, 1}})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

// The grid's own parts on the same 5 minutes: keeping the levels (0) and the fit (1).
void BM_GridParts(benchmark::State& state) {
    static const std::vector<int16_t> pcm = synth::toPcm16(
        synth::render({.bpm = 126.4, .seconds = 300, .introBeats = 32, .startOffset = 0.01}));
    const auto frames = static_cast<int32_t>(pcm.size() / 2);
    OnsetEnvelope envelope;
    envelope.feed(pcm.data(), frames);
    for (auto _ : state) {
        if (state.range(0) == 0) {
            envelope.clear();
            for (int32_t at = 0; at < frames; at += 1152)
                envelope.feed(&pcm[2 * static_cast<size_t>(at)], std::min(1152, frames - at));
            benchmark::DoNotOptimize(envelope.levels().data());
        } else {
            benchmark::DoNotOptimize(fitBeatGrid(envelope.levels()).fit);
        }
    }
    state.SetLabel(state.range(0) == 0 ? "levels" : "fit");
}
BENCHMARK(BM_GridParts)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);
// What the waveform summary adds to the pass a load runs (with the grid): the same track
// with the summary and without (target: at most 1.15x; the machine is shared, so compare the
// least of several runs: --benchmark_repetitions=6), and how long after the pass began the
// whole overview could be drawn: "overviewMs".
void BM_WholeTrackPassWithWaveform(benchmark::State& state) {
    const bool mp3 = state.range(0) != 0;
    const bool summarise = state.range(1) != 0;
    const std::string& path = track(mp3);
    if (path.empty()) {
        state.SkipWithError("cannot write the track");
        return;
    }
    PassReaders readers;
    TrackReader& reader = readers.of(mp3);
    double overviewMs = 0;
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        const WholeTrackResult result =
            analyseWholeTrack(reader, path, nullptr, {.fitGrid = true, .summarise = summarise});
        overviewMs =
            std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
                .count();
        benchmark::DoNotOptimize(result.waveform);
        if (summarise && !result.waveform) state.SkipWithError("no summary");
    }
    state.counters["overviewMs"] = overviewMs;
    state.SetLabel(std::string(mp3 ? "mp3" : "wav") +
                   (summarise ? ", with the waveform summary" : ", without"));
}
BENCHMARK(BM_WholeTrackPassWithWaveform)
    ->ArgsProduct({{1, 0}, {0, 1}})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

}  // namespace
}  // namespace spinlorex
