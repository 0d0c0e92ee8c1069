// Decks reading real files through the WAV and MP3 readers, analysed by the beat analyser
// and remembered in the internal database: the road of a track, end to end.

#include <gtest/gtest.h>

#include <fstream>

#include "platform/core/FatalError.h"
#include "platform/settings/Settings.h"
#include "support/DeckHarness.h"
#include "support/TempDir.h"
#include "support/Tracks.h"
#include "support/Wait.h"

namespace spinlorex {
namespace {

using test::DeckHarness;
using test::waitFor;

class DeckOnRealFilesTest : public ::testing::Test {
protected:
    void SetUp() override {
        settings().resetToDefaults();
        set(settings().autoBpm, 0);
    }
    void TearDown() override { settings().resetToDefaults(); }

    // Plays the deck's track from the start to its end.
    static void playThrough(DeckHarness& h, int d) {
        h.deck(d).seekAndPlay(0.0f);
        ASSERT_TRUE(waitFor([&] { return h.notifier.ended[d] > 0; }, 60));
    }
};

TEST_F(DeckOnRealFilesTest, AnAnalysedMp3IsRememberedInTheDatabase) {
    test::TempDir home;
    synth::Params p;
    p.bpm = 124;
    p.seconds = 60;
    p.introBeats = 16;
    const std::string mp3 = test::makeMp3(p);
    {
        DeckHarness h(DeckHarness::RealReaders{});
        ASSERT_TRUE(h.database.open(home.path().string()));
        h.startSoundThread();
        ASSERT_TRUE(h.load(0, mp3));
        EXPECT_EQ(h.deck(0).duration(), 60);
        playThrough(h, 0);
        EXPECT_EQ(h.desk.status[0], kStatusNormal);
        const TrackRecord* record = h.deck(0).track()->record;
        EXPECT_NEAR(record->currentBpm(), 124.0, 0.5);
        const TrackAnalysis* a = h.deck(0).analysis();
        EXPECT_GT(a->bpmConfidence, 0);
        // The kick comes in after 16 beats (7.7 s of 60) and plays to the end.
        EXPECT_NEAR(a->firstStrongBeat, 16 * 60.0 / 124 / 60, 0.02);
        EXPECT_GT(a->lastStrongBeat, 0.95f);
        EXPECT_GT(a->loudnessPeak, 0);
        h.deck(0).analysis()->cuePoint = 0.25f;
    }  // the database is closed: the held analysis is written

    DeckHarness h(DeckHarness::RealReaders{});
    ASSERT_TRUE(h.database.open(home.path().string()));
    h.startSoundThread();
    ASSERT_TRUE(h.load(1, mp3));
    EXPECT_NEAR(h.deck(1).track()->record->currentBpm(), 124.0, 0.5);
    EXPECT_FLOAT_EQ(h.deck(1).position(), 0.25f);  // opens at the stored cue point
}

TEST_F(DeckOnRealFilesTest, BadFilesGiveAStatusNeverACrash) {
    test::TempDir dir;
    DeckHarness h(DeckHarness::RealReaders{});
    h.startSoundThread();

    // Missing, empty and non-audio files cannot be opened.
    EXPECT_FALSE(h.load(0, dir.file("missing.mp3")));
    EXPECT_EQ(h.desk.status[0], kStatusCannotOpen);
    std::ofstream(dir.file("empty.wav")).close();
    EXPECT_FALSE(h.load(0, dir.file("empty.wav")));
    {
        std::ofstream text(dir.file("notes.mp3"));
        for (int i = 0; i < 2000; ++i) text << "not music at all, line " << i << "\n";
    }
    EXPECT_FALSE(h.load(0, dir.file("notes.mp3")));
    EXPECT_EQ(h.desk.status[0], kStatusCannotOpen);

    // A WAV file shorter than one second cannot be loaded.
    synth::Params blip;
    blip.seconds = 0.9;
    EXPECT_FALSE(h.load(0, test::makeWav(blip)));
    EXPECT_EQ(h.desk.status[0], kStatusCannotOpen);

    // A truncated MP3 plays what it has and ends.
    synth::Params p;
    p.seconds = 20;
    const std::string whole = test::makeMp3(p);
    const std::string cut = dir.file("cut.mp3");
    {
        std::ifstream in(whole, std::ios::binary);
        std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        std::ofstream(cut, std::ios::binary).write(bytes.data(), static_cast<std::streamsize>(bytes.size() / 2 + 77));
    }
    if (h.load(0, cut)) {
        playThrough(h, 0);
        EXPECT_TRUE(h.desk.status[0] == kStatusNormal || h.desk.status[0] == kStatusDecodeError);
        EXPECT_FALSE(h.deck(0).playing());
    } else {
        EXPECT_EQ(h.desk.status[0], kStatusCannotOpen);
    }
}

}  // namespace
}  // namespace spinlorex
