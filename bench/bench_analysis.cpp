// Cost of the beat analysis per decoded block, on synthetic music fed as a deck feeds it.

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdint>
#include <vector>

#include "analysis/BeatAnalyser.h"
#include "tools/synth/Synth.h"

namespace spinlorex {

// Lets the benchmark pin one version of the inner loops.
struct BeatAnalyserProbe {
    static void useKernels(BeatAnalyser& a, const beat::Kernels& kernels) { a.kernels_ = &kernels; }
};

namespace {

constexpr int32_t kBlockFrames = 1152;

const std::vector<int16_t>& music() {
    static const std::vector<int16_t> pcm = [] {
        std::vector<int16_t> p =
            synth::toPcm16(synth::render({.bpm = 126, .seconds = 60, .introBeats = 8}));
        p.resize(p.size() / (2 * kBlockFrames) * (2 * kBlockFrames));
        return p;
    }();
    return pcm;
}

void feedMusic(benchmark::State& state, const beat::Kernels& kernels) {
    const std::vector<int16_t>& pcm = music();
    const auto blocks = static_cast<int32_t>(pcm.size() / (2 * kBlockFrames));
    DecodeTimeline timeline;
    timeline.decoding = true;
    TrackRecord record;
    TrackAnalysis analysis;
    analysis.owner = &record;
    BeatAnalyser analyser(timeline);
    BeatAnalyserProbe::useKernels(analyser, kernels);
    analyser.setAnalysis(&analysis);

    int32_t block = 0;
    int32_t cursor = 0;
    for (auto _ : state) {
        timeline.blockPositions[cursor] = static_cast<float>(block) / static_cast<float>(blocks);
        analyser.feedBlock(&pcm[static_cast<size_t>(block) * 2 * kBlockFrames]);
        cursor = (cursor + 1) % DecodeTimeline::kRingBlocks;
        timeline.decodeWrite = cursor * kBlockFrames;
        block = (block + 1) % blocks;
    }
    benchmark::DoNotOptimize(analyser.localBpm());
    state.SetItemsProcessed(state.iterations());
    state.SetLabel(kernels.name);
}

// The version the program runs on this machine.
void BM_FeedBlock(benchmark::State& state) { feedMusic(state, beat::bestKernels()); }
BENCHMARK(BM_FeedBlock);

// Each version this machine can run, the portable one first.
void BM_FeedBlockKernels(benchmark::State& state) {
    feedMusic(state, *beat::availableKernels()[static_cast<size_t>(state.range(0))]);
}
BENCHMARK(BM_FeedBlockKernels)
    ->DenseRange(0, static_cast<int64_t>(beat::availableKernels().size()) - 1);

}  // namespace
}  // namespace spinlorex
