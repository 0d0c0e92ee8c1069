// Readers made for measuring bring other rates to 44100 Hz by interpolation: the timeline
// stays exact, the bass stays clean, and the analysis finds the tempo and beats that a
// deck's filtering readers give.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <vector>

#include "audio/AudioFormat.h"
#include "audio/LinearRateConverter.h"
#include "audio/WavReader.h"
#include "audio/WholeTrackAnalysis.h"
#include "support/Files.h"
#include "support/ToneFit.h"
#include "tools/synth/Synth.h"

namespace spinlorex {
namespace {

class MeasuringConversionTest : public ::testing::Test {
protected:
    MeasuringConversionTest() { reader_.setConversion(FrameReader::Conversion::Measuring); }

    std::vector<int16_t> decodeAll(TrackReader& reader) {
        std::vector<int16_t> all, block(kBlockSamples);
        int32_t status;
        while ((status = reader.decodeBlock(block.data())) == TrackReader::kDone)
            all.insert(all.end(), block.begin(), block.end());
        EXPECT_EQ(status, TrackReader::kEnd);
        return all;
    }

    test::TempDir dir_;
    WavReader reader_;
};

// 44101 Hz repeats its pattern only every 44100 output frames: the frame-by-frame path.
constexpr int32_t kRates[] = {8000, 22050, 32000, 48000, 96000, 192000, 44101};

TEST_F(MeasuringConversionTest, EveryRateKeepsItsLengthAndItsBassToneClean) {
    for (int32_t rate : kRates) {
        SCOPED_TRACE(rate);
        const std::string path = dir_.file("bass.wav");
        const std::vector<float> tone = synth::tone(100.0, 3.0, rate, 2, 0.5);
        ASSERT_TRUE(synth::writeWav(path, tone, rate, 2, 24));
        ASSERT_EQ(reader_.open(path), 3);
        const int64_t total = static_cast<int64_t>(tone.size() / 2) * 44100 / rate;
        EXPECT_EQ(reader_.totalFrames(), total);
        const std::vector<int16_t> out = decodeAll(reader_);
        EXPECT_EQ(static_cast<int64_t>(out.size() / 2), total / kBlockFrames * kBlockFrames);
        const test::ToneFit fit = test::fitTone(test::channelOf(&out[2 * 22050], 44100, 1));
        EXPECT_NEAR(fit.hz(), 100.0, 0.001);
        EXPECT_NEAR(fit.amplitude, 0.5 * 32767, 20);
        EXPECT_LT(fit.restDb, -70.0);
    }
}

// Only the measuring reader interpolates: a 30 kHz tone at 96 kHz folds back to about
// 14 kHz through it, while the listening reader's filter removes it.
TEST_F(MeasuringConversionTest, OnlyTheMeasuringReaderLetsWhatLiesAboveTheBandFoldBack) {
    const std::string path = dir_.file("high.wav");
    ASSERT_TRUE(synth::writeWav(path, synth::tone(30000.0, 2.0, 96000, 2, 0.5), 96000, 2, 24));
    WavReader listening;
    ASSERT_EQ(listening.open(path), 2);
    ASSERT_EQ(reader_.open(path), 2);
    const auto peak = [&](TrackReader& reader) {
        // Away from the tone's abrupt start and end, which ring through any filter.
        const std::vector<int16_t> out = decodeAll(reader);
        int peak = 0;
        for (size_t i = 2 * 22050; i + 2 * 22050 < out.size(); ++i)
            peak = std::max(peak, std::abs(int{out[i]}));
        return peak;
    };
    EXPECT_LT(peak(listening), 300);
    EXPECT_GT(peak(reader_), 1000);
}

TEST_F(MeasuringConversionTest, ASeekGivesTheFramesThatReadingThroughGives) {
    for (int32_t rate : kRates) {
        SCOPED_TRACE(rate);
        const std::string path = dir_.file("music.wav");
        ASSERT_TRUE(
            synth::writeWav(path, synth::render({.seconds = 4, .sampleRate = rate}), rate, 2, 16));
        ASSERT_EQ(reader_.open(path), 4);
        const std::vector<int16_t> through = decodeAll(reader_);
        for (float f : {0.0f, 0.123457f, 0.5f, 0.7f, 0.9f}) {
            reader_.seek(f);
            const int64_t at = reader_.nextFrame();
            ASSERT_EQ(at, std::llround(double{f} * static_cast<double>(reader_.totalFrames())));
            std::vector<int16_t> block(kBlockSamples);
            ASSERT_EQ(reader_.decodeBlock(block.data()), TrackReader::kDone) << f;
            ASSERT_LE(static_cast<size_t>(2 * at) + block.size(), through.size());
            EXPECT_TRUE(std::equal(block.begin(), block.end(), through.begin() + 2 * at)) << f;
        }
    }
}

// A source whose frames count up (left = n, right = -n): interpolated, output frame m
// must read m x rate / 44100 exactly. It ends, or fails, after `frames` frames.
class RampSource : public FrameSource {
public:
    RampSource(int64_t frames, bool fails) : frames_(frames), fails_(fails) {}
    int32_t readFrames(float* dest, int32_t frames) override {
        if (next_ >= frames_) return fails_ ? -1 : 0;
        const auto n = static_cast<int32_t>(std::min<int64_t>(frames, frames_ - next_));
        for (int32_t i = 0; i < n; ++i, ++next_) {
            dest[2 * i] = static_cast<float>(next_);
            dest[2 * i + 1] = -static_cast<float>(next_);
        }
        return n;
    }
    bool seekFrames(int64_t frame) override {
        next_ = frame;
        return frame <= frames_;
    }

private:
    int64_t frames_;
    bool fails_;
    int64_t next_ = 0;
};

TEST(LinearRateConverterTest, FramesLieOnTheExactTimelineUntilTheSourceEndsOrFails) {
    for (int32_t rate : {22050, 48000, 96000, 44101}) {
        for (bool fails : {false, true}) {
            SCOPED_TRACE(testing::Message() << rate << (fails ? " failing" : " ending"));
            const int64_t frames = 10000;
            RampSource source(frames, fails);
            LinearRateConverter converter;
            ASSERT_TRUE(converter.open(source, rate));
            // Through the end in uneven requests, then from a restart in the middle.
            // The last frame whose right-hand neighbour is still a source frame.
            const auto last = static_cast<int32_t>((frames - 2) * 44100 / rate);
            std::vector<float> out(2 * static_cast<size_t>(last + 1));
            bool ok = true;
            for (int32_t m = 0; m <= last; m += 777)
                ok = converter.read(&out[2 * static_cast<size_t>(m)], std::min(777, last + 1 - m));
            EXPECT_TRUE(ok);
            for (int32_t m = 0; m <= last; ++m) {
                const double t = static_cast<double>(m) * rate / 44100;
                ASSERT_NEAR(out[2 * static_cast<size_t>(m)], t, 0.01 * (1 + t / 1000)) << m;
                ASSERT_EQ(out[2 * static_cast<size_t>(m) + 1], -out[2 * static_cast<size_t>(m)]);
            }
            EXPECT_EQ(converter.sourceEnd(), -1);
            // Past the last source frame: silence, and the end or the failure is told.
            std::vector<float> after(2 * 2048);
            EXPECT_EQ(converter.read(after.data(), 2048), !fails);
            EXPECT_EQ(after.back(), 0.0f);
            EXPECT_EQ(converter.sourceEnd(), fails ? -1 : frames);

            ASSERT_TRUE(converter.restartAt(last / 2));
            EXPECT_EQ(converter.sourceEnd(), -1);
            float again[2];
            EXPECT_TRUE(converter.read(again, 1));
            EXPECT_EQ(again[0], out[2 * static_cast<size_t>(last / 2)]);
        }
    }
}

TEST_F(MeasuringConversionTest, TheAnalysisFindsTheTempoAndBeatsOfTheFilteringReaders) {
    for (int32_t rate : {32000, 48000, 96000}) {
        SCOPED_TRACE(rate);
        const std::string path = dir_.file("track.wav");
        ASSERT_TRUE(synth::writeWav(
            path, synth::render({.bpm = 124, .seconds = 30, .sampleRate = rate, .introBeats = 8}),
            rate, 2, 16));
        WavReader listening;
        const TrackMeasures heard = analyseWholeTrack(listening, path).measures;
        const WholeTrackResult measured = analyseWholeTrack(*measuringReaders().wav, path);
        ASSERT_EQ(measured.status, kStatusNormal);
        const TrackMeasures& m = measured.measures;
        EXPECT_NEAR(heard.bpm, 124.0, 0.5);
        EXPECT_NEAR(m.bpm, heard.bpm, 0.01);
        EXPECT_NEAR(m.bpmConfidence, heard.bpmConfidence, heard.bpmConfidence / 100);
        // Beat positions within one analysis step of the 30 s.
        EXPECT_NEAR(m.firstStrongBeat, heard.firstStrongBeat, 36.0 / (30 * 44100));
        EXPECT_NEAR(m.lastStrongBeat, heard.lastStrongBeat, 36.0 / (30 * 44100));
        EXPECT_NEAR(m.peakLevel, heard.peakLevel, heard.peakLevel / 100);
        EXPECT_NEAR(m.loudnessPeak, heard.loudnessPeak, heard.loudnessPeak / 100);
    }
}

}  // namespace
}  // namespace spinlorex
