// Cost of one rhythm strip picture as the drawing thread makes it 58 times a second: both
// decks' column heights from analysed music, a fresh 8-bit buffer, the overlay.

#include <benchmark/benchmark.h>

#include <cstdint>
#include <vector>

#include "analysis/BeatAnalyser.h"
#include "auxwindows/RhythmStrip.h"
#include "tools/synth/Synth.h"

namespace spinlorex {
namespace {

constexpr int32_t kBlockFrames = 1152;

// A deck's analyser after it decoded a few seconds of music.
struct AnalysedMusic {
    DecodeTimeline timeline;
    TrackRecord record;
    TrackAnalysis analysis;
    BeatAnalyser analyser{timeline};

    explicit AnalysedMusic(double bpm) {
        analysis.owner = &record;
        analyser.setAnalysis(&analysis);
        const std::vector<int16_t> pcm = synth::toPcm16(synth::render({.bpm = bpm, .seconds = 6}));
        const auto blocks = static_cast<int32_t>(pcm.size() / (2 * kBlockFrames));
        for (int32_t b = 0; b < blocks; ++b)
            analyser.feedBlock(&pcm[static_cast<size_t>(b) * 2 * kBlockFrames]);
    }
};

void BM_RhythmStripPicture(benchmark::State& state) {
    static AnalysedMusic one(126), two(128);
    const int32_t width = static_cast<int32_t>(state.range(0)), height = 110;
    const int32_t stride = (width + 3) / 4 * 4;
    int32_t heard = 0;
    for (auto _ : state) {
        std::vector<int16_t> a(static_cast<size_t>(width)), b(static_cast<size_t>(width));
        rhythmColumnHeights([](int32_t s) { return one.analyser.onsetAt(s); },
                            {heard, one.analyser.peakLevel(), 4096}, height, a);
        rhythmColumnHeights([](int32_t s) { return two.analyser.onsetAt(s); },
                            {heard, two.analyser.peakLevel(), 4300}, height, b);
        std::vector<uint8_t> picture(static_cast<size_t>(stride * height));
        composeRhythmStrip(a, b, height, picture.data(), stride);
        benchmark::DoNotOptimize(picture.data());
        heard = (heard + 750) % DecodeTimeline::kRingFrames;  // 17 ms of listening
    }
}
BENCHMARK(BM_RhythmStripPicture)->Arg(750)->Arg(800)->Unit(benchmark::kMicrosecond);

}  // namespace
}  // namespace spinlorex
