#include "audio/WholeTrackAnalysis.h"

#include <gtest/gtest.h>

#include "audio/WavReader.h"
#include "library/ShownTempo.h"
#include "platform/settings/Settings.h"
#include "support/DeckHarness.h"
#include "support/Files.h"
#include "support/Measures.h"
#include "tools/synth/Synth.h"

namespace spinlorex {
namespace {

using test::DeckHarness;
using test::FakeReader;
using test::waitFor;

std::string writeTrack(const test::TempDir& dir, const std::string& name, const synth::Params& p) {
    const std::string path = dir.file(name);
    EXPECT_TRUE(synth::writeWav(path, synth::render(p), p.sampleRate, p.channels, 16));
    return path;
}

class WholeTrackAnalysisTest : public ::testing::Test {
protected:
    void SetUp() override { settings().resetToDefaults(); }
    void TearDown() override { settings().resetToDefaults(); }
};

// The whole-track analysis hears the file as a new deck does that plays it once from the
// start (decoding ahead, the silence after the end included): exactly the same values, and
// the same again after another file went through the same reader.
TEST_F(WholeTrackAnalysisTest, MeasuresExactlyWhatANewDeckMeasuresPlayingTheTrackOnce) {
    test::TempDir dir;
    // A kick 60 ms before the end: its onset is only found in the silence after the end.
    const std::string track =
        writeTrack(dir, "a.wav", {.bpm = 126, .seconds = 40.06, .seed = 3, .introBeats = 8});
    const std::string other = writeTrack(dir, "b.wav", {.bpm = 93, .seconds = 20, .seed = 5});

    DeckHarness h(DeckHarness::RealReaders{});
    h.startSoundThread();
    ASSERT_TRUE(h.load(0, track));
    h.deck(0).play();
    ASSERT_TRUE(waitFor([&] { return h.ended[0] > 0; }, 60));
    const TrackMeasures onDeck = measuresOf(*h.deck(0).analysis());
    EXPECT_NEAR(onDeck.bpm, 126.0, 0.5);

    WavReader reader;
    const WholeTrackResult first = analyseWholeTrack(reader, track);
    EXPECT_EQ(first.status, kStatusNormal);
    EXPECT_FALSE(first.cancelled);
    EXPECT_EQ(first.duration, 40);
    EXPECT_EQ(first.fileSize, h.deck(0).track()->record->fileSize);
    EXPECT_EQ(first.measures, onDeck);

    EXPECT_NEAR(analyseWholeTrack(reader, other).measures.bpm, 93.0, 0.5);
    EXPECT_EQ(analyseWholeTrack(reader, track).measures, onDeck);
}

// The tempo of a track whose intro runs at another tempo is the body's.
TEST_F(WholeTrackAnalysisTest, AnIntroOfAnotherTempoGivesWayToTheBody) {
    test::TempDir dir;
    const std::string track = writeTrack(
        dir, "intro.wav",
        {.bpm = 128, .seconds = 60, .introBeats = 32, .introBpm = 120, .introKick = true});
    WavReader reader;
    const WholeTrackResult result = analyseWholeTrack(reader, track);
    EXPECT_NEAR(result.measures.bpm, 128.0, 0.3);
    EXPECT_GT(result.measures.bpmConfidence, 1000);  // the 44 s of the body, in blocks
}

// The analyser reads a 170 BPM track as two thirds of it; the grid, fitted in the same
// pass, counts the beat a DJ counts where the kick is heard, and its tempo is the one shown.
TEST_F(WholeTrackAnalysisTest, TheGridCountsTheBeatTheAnalyserReadsAsTwoThirds) {
    test::TempDir dir;
    const std::string track =
        writeTrack(dir, "dnb.wav", {.bpm = 170, .seconds = 60, .seed = 4, .startOffset = 0.0123});
    WavReader reader;
    const WholeTrackResult result = analyseWholeTrack(reader, track);
    EXPECT_NEAR(result.measures.bpm, 170.0 * 2 / 3, 0.5);
    ASSERT_EQ(result.grid.sections.size(), 1u);
    EXPECT_NEAR(result.grid.sections[0].bpm(), 170.0, 0.002);
    EXPECT_NEAR(result.grid.sections[0].nearestBeat(30.0123), 30.0123, 0.00025);
    EXPECT_FLOAT_EQ(shownTempo(result.measures.bpm, result.grid, result.duration),
                    static_cast<float>(result.grid.sections[0].bpm()));
}

TEST_F(WholeTrackAnalysisTest, FilesThatFailAndAnalysesStoppedSaySo) {
    WavReader wav;
    const WholeTrackResult missing = analyseWholeTrack(wav, "/nonexistent/track.wav");
    EXPECT_EQ(missing.status, kStatusCannotOpen);
    EXPECT_EQ(missing.duration, -1);
    EXPECT_EQ(missing.measures, TrackMeasures{.peakLevel = 0});

    // A block that will not decode ends the analysis with what came before it.
    FakeReader damaged({.frames = 44100 * 20, .errorAtBlock = 300});
    const WholeTrackResult broken = analyseWholeTrack(damaged, "x.mp3");
    EXPECT_EQ(broken.status, kStatusDecodeError);
    EXPECT_EQ(broken.duration, 20);
    EXPECT_GT(broken.measures.peakLevel, 1);

    const std::atomic<bool> stop{true};
    FakeReader reader({});
    const WholeTrackResult stopped = analyseWholeTrack(reader, "x.mp3", &stop);
    EXPECT_TRUE(stopped.cancelled);
    EXPECT_EQ(stopped.status, kStatusNormal);
    EXPECT_EQ(stopped.measures.peakLevel, 1);  // nothing analysed
    EXPECT_TRUE(stopped.grid.empty());
}

}  // namespace
}  // namespace spinlorex
