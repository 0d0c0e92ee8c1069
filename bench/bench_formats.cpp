// Every rate and format the readers take, measured on a 1 kHz tone at half of full scale:
// how far the tone's frequency lies from 1 kHz (ppm), how loud everything else is against
// it (dB), and how fast the reader decodes (x real time). Also the varispeed renderer's
// purity at the pitches of the desk's ranges, measured the same way, and what analysing a
// whole track costs at each rate (compare each with its 44100 Hz line).

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "audio/AudioFormat.h"
#include "audio/Mp3Reader.h"
#include "audio/PitchRender.h"
#include "audio/SndfileReader.h"
#include "audio/WavReader.h"
#include "audio/WholeTrackAnalysis.h"
#include "support/ToneFit.h"
#include "tools/synth/Synth.h"

namespace spinlorex {
namespace {

class BenchFolder {
public:
    BenchFolder() {
        std::string pattern =
            (std::filesystem::temp_directory_path() / "spinlorex-formats-XXXXXX").string();
        if (mkdtemp(pattern.data()) != nullptr) dir_ = pattern;
    }
    ~BenchFolder() {
        std::error_code ignored;
        if (!dir_.empty()) std::filesystem::remove_all(dir_, ignored);
    }
    std::string file(const std::string& name) const { return (dir_ / name).string(); }

private:
    std::filesystem::path dir_;
};

const BenchFolder& folder() {
    static const BenchFolder f;
    return f;
}

enum Kind { kWav16, kWav24, kWavFloat, kMp3, kFlac24, kVorbis, kOpus };

const char* const kKindNames[] = {"wav16", "wav24", "wavfloat", "mp3", "flac24", "vorbis", "opus"};

// The tone as a file of that kind, written once.
std::string toneFile(Kind kind, int32_t rate) {
    const std::string extension = kind == kMp3      ? ".mp3"
                                  : kind == kFlac24 ? ".flac"
                                  : kind == kVorbis ? ".ogg"
                                  : kind == kOpus   ? ".opus"
                                                    : ".wav";
    const std::string path =
        folder().file(std::string(kKindNames[kind]) + "-" + std::to_string(rate) + extension);
    if (std::filesystem::exists(path)) return path;
    const std::vector<float> tone = synth::tone(1000.0, 3.0, rate, 2, 0.5);
    bool ok = false;
    switch (kind) {
        case kWav16:
            ok = synth::writeWav(path, tone, rate, 2, 16);
            break;
        case kWav24:
            ok = synth::writeWav(path, tone, rate, 2, 24);
            break;
        case kWavFloat:
            ok = synth::writeSndfile(path, tone, rate, 2, 32);
            break;
        case kMp3:
            ok = synth::writeMp3(path, tone, rate, 2, rate >= 32000 ? 192 : 128);
            break;
        default:
            ok = synth::writeSndfile(path, tone, rate, 2, 24);
            break;
    }
    return ok ? path : std::string();
}

std::unique_ptr<FrameReader> readerFor(Kind kind) {
    if (kind == kMp3) return std::make_unique<Mp3Reader>();
    if (kind == kWav16 || kind == kWav24 || kind == kWavFloat) return std::make_unique<WavReader>();
    return std::make_unique<SndfileReader>();
}

// Decodes the whole tone once per iteration; the counters come from the last one.
void BM_ToneThroughReader(benchmark::State& state) {
    const auto kind = static_cast<Kind>(state.range(0));
    const auto rate = static_cast<int32_t>(state.range(1));
    const std::string path = toneFile(kind, rate);
    std::unique_ptr<FrameReader> reader = readerFor(kind);
    if (path.empty() || reader->open(path) == 0) {
        state.SkipWithError("cannot make or open the file");
        return;
    }
    std::vector<int16_t> out;
    std::vector<int16_t> block(kBlockSamples);
    for (auto _ : state) {
        reader->seek(0.0f);
        out.clear();
        while (reader->decodeBlock(block.data()) == 1)
            out.insert(out.end(), block.begin(), block.end());
        benchmark::DoNotOptimize(out.data());
    }
    if (out.size() < 2u * 44100 * 2) {
        state.SkipWithError("too short");
        return;
    }
    const test::ToneFit fit = test::fitTone(test::channelOf(&out[2 * 22050], 44100, 0));
    state.counters["rest_dB"] = fit.restDb;
    state.counters["freq_err_ppm"] = (fit.hz() - 1000.0) / 1000.0 * 1e6;
    state.counters["x_realtime"] = benchmark::Counter(static_cast<double>(state.iterations()) * 3.0,
                                                      benchmark::Counter::kIsRate);
    state.SetLabel(std::string(kKindNames[kind]) + " " + std::to_string(rate) + " Hz");
}

void RateTable(benchmark::internal::Benchmark* b) {
    for (int64_t rate : {22050, 32000, 44100, 48000, 88200, 96000}) {
        for (int64_t kind : {kWav16, kWav24, kWavFloat}) b->Args({kind, rate});
        if (rate <= 48000) b->Args({kMp3, rate});
    }
    b->Args({kFlac24, 96000})->Args({kVorbis, 44100})->Args({kOpus, 48000});
}
BENCHMARK(BM_ToneThroughReader)->Apply(RateTable)->Unit(benchmark::kMillisecond);

// Two minutes of the same music at each rate, analysed whole as the library and
// `spinlorex-tool analyze` do; the third argument 1 analyses through a deck's own
// listening-quality readers instead, for comparison.
void BM_AnalyseWholeTrack(benchmark::State& state) {
    const auto kind = static_cast<Kind>(state.range(0));
    const auto rate = static_cast<int32_t>(state.range(1));
    const bool listening = state.range(2) != 0;
    const std::string path =
        folder().file("music-" + std::to_string(rate) + (kind == kMp3 ? ".mp3" : ".wav"));
    if (!std::filesystem::exists(path)) {
        const std::vector<float> music =
            synth::render({.bpm = 126, .seconds = 120, .sampleRate = rate});
        if (!(kind == kMp3 ? synth::writeMp3(path, music, rate, 2, 192)
                           : synth::writeWav(path, music, rate, 2, 16))) {
            state.SkipWithError("cannot write the music");
            return;
        }
    }
    const DeckStream::Readers readers =
        listening ? DeckStream::standardReaders() : measuringReaders();
    WholeTrackResult result;
    for (auto _ : state) result = analyseWholeTrack(*readers.forPath(path), path);
    if (result.status != kStatusNormal) state.SkipWithError("analysis failed");
    state.counters["bpm"] = result.measures.bpm;
    state.SetLabel(std::string(kKindNames[kind]) + " " + std::to_string(rate) + " Hz" +
                   (listening ? " listening readers" : ""));
}
BENCHMARK(BM_AnalyseWholeTrack)
    ->Args({kWav16, 44100, 0})
    ->Args({kWav16, 48000, 0})
    ->Args({kWav16, 96000, 0})
    ->Args({kWav16, 48000, 1})
    ->Args({kMp3, 44100, 0})
    ->Args({kMp3, 48000, 0})
    ->Unit(benchmark::kMillisecond);

// The varispeed render of a 1 kHz tone: it must come out at 1000 x pitch / 4096 Hz.
void BM_VarispeedTone(benchmark::State& state) {
    const auto pitch = static_cast<int32_t>(state.range(0));
    const int32_t history = kVarispeedHistory;
    const std::vector<float> tone = synth::tone(1000.0, 3.0, 44100, 2, 0.5);
    const std::vector<int16_t> pcm = synth::toPcm16(tone);
    std::vector<int16_t> src(static_cast<size_t>(2 * history), 0);
    src.insert(src.end(), pcm.begin(), pcm.end());
    std::vector<int16_t> out(2 * 44100);
    for (auto _ : state) {
        int32_t phase = 0;
        int32_t at = 0;
        for (int32_t k = 0; k + kRenderFrames <= 44100; k += kRenderFrames)
            at += renderVarispeed(&src[static_cast<size_t>(2 * (history + at))],
                                  &out[static_cast<size_t>(2 * k)], kRenderFrames, pitch, phase);
        benchmark::DoNotOptimize(out.data());
    }
    const test::ToneFit fit =
        test::fitTone(test::channelOf(out.data(), 44100 / kRenderFrames * kRenderFrames, 0));
    const double expected = 1000.0 * pitch / 4096;
    state.counters["rest_dB"] = fit.restDb;
    state.counters["freq_err_ppm"] = (fit.hz() - expected) / expected * 1e6;
    state.counters["frames/s"] = benchmark::Counter(
        static_cast<double>(state.iterations()) * 44100 / kRenderFrames * kRenderFrames,
        benchmark::Counter::kIsRate);
}
BENCHMARK(BM_VarispeedTone)->Arg(3961)->Arg(4424)->Arg(5462)->Arg(2730);

}  // namespace
}  // namespace spinlorex
