// The waveform summary of generated tracks with known content, the way the track store keeps
// it, and the pictures drawn from it, looked at by the colour of a column and the place of
// a line.

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "analysis/BeatGridFit.h"
#include "analysis/OnsetEnvelope.h"
#include "analysis/WaveformBuilder.h"
#include "audio/AudioFormat.h"
#include "auxwindows/WaveformPainter.h"
#include "tools/synth/Synth.h"

namespace spinlorex {
namespace {

constexpr int32_t kRate = 44100;

// Stereo 16-bit: `seconds` of a sine of `hz` at `amplitude` (0: silence).
void append(std::vector<int16_t>& pcm, double seconds, double hz, double amplitude) {
    const std::vector<int16_t> part = synth::toPcm16(synth::tone(hz, seconds, kRate, 2, amplitude));
    pcm.insert(pcm.end(), part.begin(), part.end());
}

// Fed in blocks as the whole-track pass feeds it, or in pieces of any length.
WaveformSummary summarise(const std::vector<int16_t>& pcm, LiveWaveform* live = nullptr,
                          int32_t piece = kBlockFrames) {
    const auto frames = static_cast<int32_t>(pcm.size() / 2);
    WaveformBuilder builder(frames, live);
    for (int32_t at = 0; at < frames; at += piece)
        builder.feed(pcm.data() + 2 * at, std::min(piece, frames - at));
    return builder.finish();
}

// 2 s of bass, 2 s of silence, 2 s of highs.
struct ThreeParts : ::testing::Test {
    ThreeParts() {
        append(pcm, 2.0, 60.0, 0.8);
        append(pcm, 2.0, 0.0, 0.0);
        append(pcm, 2.0, 8000.0, 0.4);
        summary = summarise(pcm, &live);
    }
    // The column in the middle of part `n` (0..2).
    const WaveColumn& middleOf(int n) const {
        return summary.columns[static_cast<size_t>((2 * n + 1) * kRate / summary.columnFrames)];
    }
    std::vector<int16_t> pcm;
    LiveWaveform live;
    WaveformSummary summary;
};

TEST_F(ThreeParts, EachBandShowsWhereItsSoundIsAndSilenceShowsEmpty) {
    ASSERT_EQ(summary.columnFrames, WaveformSummary::kMinColumnFrames);
    EXPECT_EQ(summary.columns.size(), 6u * kRate / summary.columnFrames);
    const WaveColumn bass = middleOf(0), quiet = middleOf(1), highs = middleOf(2);
    EXPECT_GT(bass.low, 180);  // 0.8 of full scale
    EXPECT_LT(bass.mid, bass.low / 5);
    EXPECT_EQ(bass.high, 0);
    EXPECT_EQ(quiet, WaveColumn{});
    EXPECT_GT(highs.high, 150);
    EXPECT_LT(highs.low, 2);
    EXPECT_LT(highs.mid, highs.high / 4);
    EXPECT_GE(summary.peak, std::max({bass.low, highs.high}));

    // What was drawn while it was made is what it became.
    ASSERT_EQ(live.count(), static_cast<int32_t>(summary.columns.size()));
    EXPECT_EQ(live.columnFrames(), summary.columnFrames);
    EXPECT_TRUE(std::equal(summary.columns.begin(), summary.columns.end(), live.columns()));
    // Pieces that split the groups of frames summed together (taken one frame at a time)
    // make the same summary.
    EXPECT_EQ(summarise(pcm, nullptr, 13), summary);
}

TEST_F(ThreeParts, PicturesShowTheBandsColoursAndNothingInTheSilence) {
    constexpr int32_t kW = 600, kH = 40;
    std::vector<uint32_t> pixels(kW * kH);
    const Canvas canvas{pixels.data(), kW, kH, kW};
    // The overview: each part a third of the width, the first two thirds played.
    drawOverview(canvas, WaveView::of(summary), 0, 2.0 / 3.0, 0.25);
    const auto at = [&](int32_t x, int32_t y) { return canvas.at(x, y); };
    const int32_t high = kH / 2 - kH / 4;                        // a row half way up a loud column
    EXPECT_EQ(at(kW / 6 - 10, high), dimmed(kWaveColours.low));  // played: dimmed
    EXPECT_EQ(at(kW / 2, kH / 2), kWaveColours.back);
    EXPECT_EQ(at(5 * kW / 6, high), kWaveColours.high);
    EXPECT_EQ(at(kW / 4, 0), kWaveColours.cue);
    EXPECT_EQ(at(2 * kW / 3, 0), kWaveColours.play);

    // Scrolling 4 s across with the play line 1 s into the bass: the silence begins 1 s,
    // a quarter of the width, to the right of it.
    drawScrolling(canvas, WaveView::of(summary), scrollWindow(1.0, 1.0, 4.0, kW), {});
    EXPECT_EQ(at(kW / 2 + kW / 4 - 3, high), kWaveColours.low);
    EXPECT_EQ(at(kW / 2 + kW / 4 + 3, kH / 2), kWaveColours.back);
    EXPECT_EQ(at(kW / 2, 0), kWaveColours.play);
    EXPECT_EQ(at(kW / 8, kH / 2), kWaveColours.back);  // before the track
}

// Kept for the track store: at most 20 KB whatever the length, at 4 bits of the peak, and
// anything that is not a summary refused.
TEST(WaveformBlob, StaysSmallKeepsItsShapeAndRefusesWhatIsNotOne) {
    WaveformSummary twoHours;
    twoHours.columnFrames = WaveformSummary::columnFramesFor(int64_t{7200} * kRate);
    // Twice the columns the track's estimate gave (a track longer than it said).
    for (int i = 0; i < 2 * WaveformSummary::kMaxColumns + 5; ++i)
        twoHours.columns.push_back(
            {uint8_t(i % 256), uint8_t(255 - i % 256), uint8_t(i % 2 * 200)});
    twoHours.peak = 255;
    const std::vector<unsigned char> blob = encodeWaveform(twoHours);
    EXPECT_LE(blob.size(), WaveformSummary::kMaxBytes);
    const auto back = decodeWaveform(blob);
    ASSERT_TRUE(back.has_value());
    EXPECT_EQ(back->columnFrames, 3 * twoHours.columnFrames);
    ASSERT_EQ(back->columns.size(), (twoHours.columns.size() + 2) / 3);
    // Columns 3..5 merged by their loudest, to 4 bits of the peak: 5 is lost, 200 is 204.
    EXPECT_EQ(back->columns[1], (WaveColumn{0, 255, 204}));

    EXPECT_FALSE(decodeWaveform(std::span(blob).first(blob.size() - 1)));
    std::vector<unsigned char> other = blob;
    other[0] = 'X';
    EXPECT_FALSE(decodeWaveform(other));
    EXPECT_FALSE(decodeWaveform({}));
}

// Beat lines fall where the generated track's beats are: the grid fitted over it, drawn
// over the scrolling waveform, puts each line within one column of a generated beat.
TEST(WaveformBeats, LinesFallOnTheGeneratedBeatsAndTheFirstOfEachBarIsBrighter) {
    // 120 BPM from 0.25 s, the grid fitted as at a load.
    const std::vector<int16_t> pcm =
        synth::toPcm16(synth::render({.bpm = 120, .seconds = 20, .startOffset = 0.25}));
    OnsetEnvelope envelope;
    for (size_t i = 0; i + 2304 <= pcm.size(); i += 2304) envelope.feed(&pcm[i], 1152);
    const BeatGrid grid = fitBeatGrid(envelope.levels());
    ASSERT_EQ(grid.sections.size(), 1u);
    constexpr int32_t kW = 800, kH = 20;
    std::vector<uint32_t> pixels(kW * kH);
    const Canvas canvas{pixels.data(), kW, kH, kW};
    // 8 s across at +10 % speed: 8.8 s of the track, from 10 - 4.4 s.
    const ScrollWindow window = scrollWindow(10.0, 1.1, 8.0, kW);
    drawScrolling(canvas, WaveView{}, window,
                  {.grid = &grid, .other = {}, .cueSeconds = 9.0, .track = {}});
    std::vector<int32_t> lines, bars;
    for (int32_t x = 0; x < kW; ++x) {
        if (canvas.at(x, 0) == kWaveColours.beat) lines.push_back(x);
        if (canvas.at(x, 0) == kWaveColours.bar) bars.push_back(x);
    }
    // Beats from 5.75 to 14.25 s, every fourth from 6.25 s the first of a bar.
    ASSERT_EQ(lines.size(), 13u);
    ASSERT_EQ(bars.size(), 5u);
    for (const int32_t x : bars)
        EXPECT_NEAR(std::remainder(window.secondsAt(x + 0.5) - 0.25, 2.0), 0.0,
                    window.secondsPerPixel)
            << x;
    for (const int32_t x : lines)
        EXPECT_NEAR(std::remainder(window.secondsAt(x + 0.5) - 0.25, 0.5), 0.0,
                    window.secondsPerPixel)
            << x;
    EXPECT_EQ(canvas.at(static_cast<int32_t>(window.xOf(9.0)), 0), kWaveColours.cue);
    // The other deck, 4 s further into the same track and heard in step, draws
    // its beats on these: no faint line stands apart.
    drawScrolling(canvas, WaveView{}, window,
                  {.grid = &grid,
                   .other = {&grid, 14.0, 1.1, 10.0, 1.1, kDeckColours[1]},
                   .cueSeconds = -1,
                   .track = {}});
    for (int32_t x = 0; x < kW; ++x) EXPECT_NE(canvas.at(x, 0), dimmed(kDeckColours[1])) << x;
    // Half a beat off, it stands apart between each pair.
    drawScrolling(canvas, WaveView{}, window,
                  {.grid = &grid,
                   .other = {&grid, 14.25, 1.1, 10.0, 1.1, kDeckColours[1]},
                   .cueSeconds = -1,
                   .track = {}});
    int faint = 0;
    for (int32_t x = 0; x < kW; ++x) faint += canvas.at(x, 0) == dimmed(kDeckColours[1]) ? 1 : 0;
    EXPECT_EQ(faint, 16);  // 6.0 .. 14.0 s, but 10.0 s is under the play line
}

}  // namespace
}  // namespace spinlorex
