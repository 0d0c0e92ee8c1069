#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "audio/AudioFormat.h"
#include "audio/Mp3Reader.h"
#include "audio/WavReader.h"
#include "tools/synth/Synth.h"

namespace {

using spinlorex::kBlockSamples;

// A 30-second synthetic track written once per process into its own temporary folder.
class BenchTrack {
public:
    BenchTrack() {
        std::string pattern =
            (std::filesystem::temp_directory_path() / "spinlorex-bench-XXXXXX").string();
        if (mkdtemp(pattern.data()) == nullptr) return;
        dir_ = pattern;
        spinlorex::synth::Params p;
        p.seconds = 30.0;
        const std::vector<float> samples = spinlorex::synth::render(p);
        const std::string wav = (dir_ / "track.wav").string();
        const std::string mp3 = (dir_ / "track.mp3").string();
        if (spinlorex::synth::writeWav(wav, samples, p.sampleRate, p.channels, 16)) wav_ = wav;
        if (spinlorex::synth::writeMp3(mp3, samples, p.sampleRate, p.channels, 192)) mp3_ = mp3;
    }
    ~BenchTrack() {
        std::error_code ignored;
        if (!dir_.empty()) std::filesystem::remove_all(dir_, ignored);
    }
    const std::string& wav() const { return wav_; }
    const std::string& mp3() const { return mp3_; }

private:
    std::filesystem::path dir_;
    std::string wav_;
    std::string mp3_;
};

const BenchTrack& track() {
    static const BenchTrack t;
    return t;
}

// Decodes block after block, wrapping to the start at the end of the track.
void decodeBlocks(benchmark::State& state, spinlorex::TrackReader& reader,
                  const std::string& path) {
    if (path.empty() || reader.open(path) == 0) {
        state.SkipWithError("cannot make or open the track");
        return;
    }
    std::vector<int16_t> block(kBlockSamples);
    for (auto _ : state) {
        int32_t r = reader.decodeBlock(block.data());
        if (r != 1) {
            reader.seek(0.0f);
            r = reader.decodeBlock(block.data());
        }
        benchmark::DoNotOptimize(block.data());
        if (r != 1) {
            state.SkipWithError("decode failed");
            return;
        }
    }
    state.SetItemsProcessed(state.iterations());
    state.counters["x_realtime"] = benchmark::Counter(
        static_cast<double>(state.iterations()) * spinlorex::kBlockFrames / spinlorex::kSampleRate,
        benchmark::Counter::kIsRate);
}

void BM_DecodeBlockMp3(benchmark::State& state) {
    spinlorex::Mp3Reader reader;
    decodeBlocks(state, reader, track().mp3());
}
BENCHMARK(BM_DecodeBlockMp3);

void BM_DecodeBlockWav(benchmark::State& state) {
    spinlorex::WavReader reader;
    decodeBlocks(state, reader, track().wav());
}
BENCHMARK(BM_DecodeBlockWav);

}  // namespace
