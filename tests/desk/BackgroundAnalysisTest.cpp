// Tempo known before the first play: the desk has each newly loaded track analysed whole
// in the background and stores what was measured; the library's lists follow.

#include "desk/BackgroundAnalysis.h"

#include <gtest/gtest.h>

#include "audio/WavReader.h"
#include "desk/DeskRig.h"
#include "library/MusicLibrary.h"
#include "library/PlaylistFile.h"
#include "library/TrackStore.h"
#include "support/AnalysisReaders.h"
#include "support/Files.h"
#include "support/Measures.h"
#include "tools/synth/Synth.h"

namespace spinlorex {
namespace {

using test::waitFor;

class BackgroundAnalysisTest : public test::DeskTest {
protected:
    // The desk on decks that read real files, the analysis attached; with `realLibrary`
    // the library's lists are analysed too.
    void build(bool realLibrary = false) {
        rig = std::make_unique<test::DeskRig>(0, 0, 0, realLibrary);
        analysis = std::make_unique<BackgroundAnalysis>(rig->decks, rig->database, ready,
                                                        test::loggingReaders(log));
        rig->desk.setBackgroundAnalysis(analysis.get());
        if (realLibrary) analysis->attachLibrary(&rig->music.library());
    }
    void TearDown() override {
        analysis.reset();
        rig.reset();
        test::DeskTest::TearDown();
    }

    std::string track(const std::string& name, const synth::Params& p) {
        const std::string path = dir.file(name);
        EXPECT_TRUE(synth::writeWav(path, synth::render(p), p.sampleRate, p.channels, 16));
        return path;
    }
    void load(int d, const std::string& path) {
        rig->call([&] { rig->desk.loadOntoDeck(d, TrackEntry{"", "", path, nullptr}); });
    }
    TrackRecord* record(int d) { return rig->deck(d).track()->record; }
    // Waits for the worker's next result and hands it to the desk as the window does.
    bool deliverNext() {
        if (!waitFor([&] { return ready.count > delivered; })) return false;
        delivered = ready.count;
        rig->call([&] { analysis->deliver(); });
        return true;
    }
    // Hands results over until `done` holds.
    template <typename Done>
    bool deliverUntil(Done done) {
        while (!done())
            if (!deliverNext()) return false;
        return true;
    }
    // Passes enough for a paused deck to fill its decoded ring.
    void decodeAhead() {
        for (int i = 0; i < 400; ++i) rig->play(10);
    }

    test::TempDir dir;
    std::shared_ptr<test::ReadLog> log = std::make_shared<test::ReadLog>();
    test::ReadyCount ready;
    int delivered = 0;
    std::unique_ptr<test::DeskRig> rig;
    std::unique_ptr<BackgroundAnalysis> analysis;
};

// A deck waiting to come in is matched again when the tempo of the deck it will follow
// arrives; a track whose analyser misreads a 170 BPM beat shows and matches the grid's.
TEST_F(BackgroundAnalysisTest, AWaitingDeckIsMatchedWhenThePlayingDecksTempoArrives) {
    build();
    const std::string waiting = track("waiting.wav", {.bpm = 128, .seconds = 20, .seed = 2});
    const std::string playing = track("playing.wav", {.bpm = 124, .seconds = 20, .seed = 4});
    load(0, waiting);
    ASSERT_TRUE(deliverNext());
    ASSERT_NE(record(0)->grid, nullptr);
    EXPECT_NEAR(record(0)->shownBpm(), 128.0, 0.01);
    load(1, playing);
    rig->call([&] { rig->desk.transport().playPause(1); });
    EXPECT_EQ(rig->deck(0).pitch(), 4096);  // deck 2's tempo not known yet
    ASSERT_TRUE(deliverNext());
    EXPECT_TRUE(rig->deck(0).awaitingStart());
    EXPECT_EQ(rig->deck(0).pitch(),
              static_cast<int32_t>(rig->deck(1).effectiveBpm() / record(0)->shownBpm() * 4096));
    EXPECT_NE(rig->deck(0).pitch(), 4096);

    // A hand-set tempo wins over the grid's, also when the grid comes again.
    rig->call([&] { rig->desk.setTempoByHand(record(0), 64.5f); });
    EXPECT_EQ(record(0)->shownBpm(), 64.5f);
    attachGrid(*record(0), record(0)->grid);
    EXPECT_EQ(record(0)->shownBpm(), 64.5f);
}

// The first seconds decoded ahead are a 120 BPM intro; the track's body runs at 128. The
// whole-track result replaces the live estimate before the track is played, and the deck,
// not started yet, is matched again to the deck that plays.
TEST_F(BackgroundAnalysisTest, ATrackShowsItsBodysTempoBeforeItPlaysAndIsMatchedAgain) {
    build();
    const std::string playing = track("playing.wav", {.bpm = 124, .seconds = 20, .seed = 4});
    const std::string incoming =
        track("incoming.wav",
              {.bpm = 128, .seconds = 50, .introBeats = 32, .introBpm = 120, .introKick = true});
    load(1, playing);
    ASSERT_TRUE(deliverNext());
    EXPECT_NEAR(record(1)->currentBpm(), 124.0, 0.3);
    rig->call([&] { rig->desk.transport().playPause(1); });

    load(0, incoming);
    EXPECT_EQ(rig->deck(0).pitch(), 4096);  // no tempo known at the load
    decodeAhead();
    EXPECT_NEAR(record(0)->currentBpm(), 120.0, 1.0);  // what the live analysis heard so far

    ASSERT_TRUE(deliverNext());
    EXPECT_NEAR(record(0)->currentBpm(), 128.0, 0.3);
    WavReader reader;
    EXPECT_EQ(measuresOf(*rig->deck(0).analysis()), analyseWholeTrack(reader, incoming).measures);
    // Matched on the tempi shown: the grids' where they are sure.
    const auto matched =
        static_cast<int32_t>(rig->deck(1).effectiveBpm() / record(0)->shownBpm() * 4096);
    EXPECT_NEAR(record(0)->shownBpm(), 128.0, 0.01);
    EXPECT_EQ(rig->deck(0).pitch(), matched);
    EXPECT_TRUE(rig->deck(0).awaitingStart());

    // "Magic" keeps that pitch and starts the deck. The live analysis goes on without
    // replacing the whole track's tempo.
    rig->call([&] { rig->desk.sync().magicSync(0); });
    EXPECT_EQ(rig->deck(0).pitch(), matched);
    rig->play(3000);
    EXPECT_NEAR(record(0)->currentBpm(), 128.0, 0.3);
}

// The sound thread starts analysing as soon as the deck is open, and may store a first
// estimate before the analysis hears of the load: what counts is the record at the load.
TEST_F(BackgroundAnalysisTest, AnEstimateStoredRightAfterTheLoadStillGetsTheWholeTrack) {
    build();
    const std::string path =
        track("intro.wav",
              {.bpm = 128, .seconds = 40, .introBeats = 32, .introBpm = 120, .introKick = true});
    rig->call([&] { rig->deck(0).loadTrack(TrackEntry{"", "", path, nullptr}); });
    decodeAhead();
    ASSERT_GT(rig->deck(0).analysis()->bpmConfidence, 0);
    analysis->deckLoaded(0);
    ASSERT_TRUE(analysis->busy());
    ASSERT_TRUE(deliverNext());
    EXPECT_NEAR(record(0)->currentBpm(), 128.0, 0.3);
}

TEST_F(BackgroundAnalysisTest, ADeckStartedMeanwhileKeepsItsPitchAndAHandSetTempoStays) {
    set(settings().autoLevel, 1);
    build();
    const std::string playing = track("playing.wav", {.bpm = 124, .seconds = 20, .seed = 4});
    const std::string first = track("first.wav", {.bpm = 128, .seconds = 20, .seed = 5});
    const std::string second = track("second.wav", {.bpm = 127, .seconds = 20, .seed = 6});
    load(1, playing);
    ASSERT_TRUE(deliverNext());
    rig->call([&] { rig->desk.transport().playPause(1); });

    load(0, first);
    rig->call([&] { rig->desk.transport().playPause(0); });
    const int32_t level = rig->deck(0).level();
    ASSERT_TRUE(deliverNext());
    EXPECT_NEAR(record(0)->currentBpm(), 128.0, 0.3);
    EXPECT_EQ(rig->deck(0).pitch(), 4096);
    EXPECT_EQ(rig->deck(0).level(), level);

    // A tempo typed into the "Bpm" dialog before the result arrives is kept; the beat
    // markers and the loudness are still the whole track's, and Auto-Level uses them.
    load(0, second);
    MusicLibrary library(rig->database);
    library.setBpm(record(0), 100.0f);
    ASSERT_TRUE(deliverNext());
    EXPECT_FLOAT_EQ(record(0)->currentBpm(), 100.0f);
    const TrackAnalysis& a = *rig->deck(0).analysis();
    EXPECT_EQ(a.bpmConfidence, TrackAnalysis::kHandSetConfidence);
    WavReader reader;
    const TrackMeasures whole = analyseWholeTrack(reader, second).measures;
    EXPECT_EQ(a.lastStrongBeat, whole.lastStrongBeat);
    EXPECT_EQ(a.loudnessPeak, whole.loudnessPeak);
    const int32_t matchedLevel = rig->deck(1).effectiveLoudness() / whole.loudnessPeak;
    EXPECT_EQ(rig->deck(0).level(), std::min(matchedLevel, 256));
}

// A tempo typed for the track a playing deck analyses goes in through the deck, and the
// deck's own estimate never replaces it.
TEST_F(BackgroundAnalysisTest, AHandSetTempoSurvivesAPlayingDeck) {
    build(true);
    load(0, track("playing.wav", {.bpm = 128, .seconds = 30, .seed = 7}));
    rig->call([&] { rig->desk.transport().playPause(0); });
    rig->play(4000);
    rig->call([&] { rig->music.library().setBpm(record(0), 100.0f); });
    EXPECT_FLOAT_EQ(record(0)->currentBpm(), 100.0f);
    rig->play(8000);
    EXPECT_FLOAT_EQ(record(0)->currentBpm(), 100.0f);
    EXPECT_EQ(rig->deck(0).analysis()->bpmConfidence, TrackAnalysis::kHandSetConfidence);
}

// Loading another track stops the analysis of the one before: nothing of it is stored,
// and it is analysed when it comes back. A file that fails is not tried again.
TEST_F(BackgroundAnalysisTest, ReloadingCancelsAndAFailedFileIsNotTriedAgain) {
    build();
    const std::string slow = track("slow.wav", {.bpm = 122, .seconds = 20});
    const std::string next = track("next.wav", {.bpm = 126, .seconds = 20});
    const std::string failing = track("failing.wav", {.bpm = 118, .seconds = 20});
    log->failing.insert(failing);

    log->delayMicroseconds = 2000;
    load(0, slow);
    TrackRecord* slowRecord = record(0);
    ASSERT_TRUE(waitFor([&] { return log->blocks > 10; }));
    load(0, next);
    log->delayMicroseconds = 0;
    ASSERT_TRUE(deliverNext());
    EXPECT_NEAR(record(0)->currentBpm(), 126.0, 0.3);
    EXPECT_EQ(log->openedSoFar(), (std::vector<std::string>{slow, next}));
    EXPECT_LT(log->blocks, 2 * 765);            // the first file was left before its end
    EXPECT_EQ(slowRecord->currentBpm(), 0.0f);  // never decoded on the deck, nor stored
    EXPECT_FALSE(analysis->failed(slowRecord));
    EXPECT_FALSE(analysis->busy());

    load(0, slow);
    EXPECT_TRUE(analysis->busy());
    ASSERT_TRUE(deliverNext());
    EXPECT_NEAR(slowRecord->currentBpm(), 122.0, 0.3);

    load(1, failing);
    ASSERT_TRUE(deliverNext());
    EXPECT_TRUE(analysis->failed(record(1)));
    load(1, next);
    load(1, failing);
    EXPECT_FALSE(analysis->busy());
    EXPECT_EQ(log->openedSoFar().back(), failing);
    EXPECT_EQ(log->openedSoFar().size(), 4u);
}

// A whole analysis gives the record its beat grid and the track store keeps it for the
// next run; a file that fails gives neither.
TEST_F(BackgroundAnalysisTest, TheWholeTracksGridReachesTheRecordAndTheStore) {
    build();
    TrackStore store;
    store.open(dir.path().string());
    analysis->attachStore(&store);
    const std::string path = track("grid.wav", {.bpm = 126, .seconds = 20, .seed = 3});
    const std::string failing = track("failing.wav", {.bpm = 118, .seconds = 20});
    log->failing.insert(failing);

    load(0, path);
    ASSERT_TRUE(deliverNext());
    WavReader reader;
    const WholeTrackResult result = analyseWholeTrack(reader, path);
    BeatGrid whole = result.grid;
    whole.key = result.key;  // found on the same pass, kept with the grid
    ASSERT_NE(whole.key, 0);
    ASSERT_NE(record(0)->grid, nullptr);
    EXPECT_EQ(*record(0)->grid, whole);
    const uint32_t size = record(0)->fileSize;
    EXPECT_EQ(store.grid("grid.wav", size), record(0)->grid);
    load(1, failing);
    ASSERT_TRUE(deliverNext());
    EXPECT_EQ(record(1)->grid, nullptr);
    EXPECT_EQ(store.grid("failing.wav", record(1)->fileSize), nullptr);
    ASSERT_TRUE(store.close());

    TrackStore next;
    next.open(dir.path().string());
    next.flush();
    ASSERT_TRUE(next.takeLoaded());
    ASSERT_NE(next.grid("grid.wav", size), nullptr);
    EXPECT_EQ(*next.grid("grid.wav", size), whole);
}

// With automatic mixing on, a deck asks for the other one 6.4 s of music before its last
// strong beat. Heard for the first time, only the background knows where that beat is: the
// live analysis has not reached it.
TEST_F(BackgroundAnalysisTest, TheAutomaticStartOfAFirstPlayWaitsForTheLastStrongBeat) {
    set(settings().autoMix, 1);
    build();
    const std::string path = track("a.wav", {.bpm = 126, .seconds = 60});
    const auto firstStart = [&] {
        DeskMessageQueue::Message m{};
        while (rig->deck(0).position() >= 0.0f) {
            rig->play(10);
            while (rig->messages.take(m))
                if (m.message == kMessageStartDeck) return rig->deck(0).position();
        }
        return -1.0f;
    };

    rig->desk.setBackgroundAnalysis(nullptr);
    load(0, path);
    rig->call([&] { rig->deck(0).seekAndPlay(0.7f); });
    EXPECT_NEAR(firstStart(), 0.8f, 0.002f);  // at once

    rig->desk.setBackgroundAnalysis(analysis.get());
    const std::string copy = dir.file("copy.wav");
    std::filesystem::copy_file(path, copy);
    load(0, copy);
    ASSERT_TRUE(deliverNext());
    const float lastBeat = rig->deck(0).analysis()->lastStrongBeat;
    EXPECT_GT(lastBeat, 0.98f);
    rig->call([&] { rig->deck(0).seekAndPlay(0.7f); });
    EXPECT_NEAR(firstStart(), lastBeat - 6.4f / 60, 0.002f);
}

// The library analyses the tracks it shows that have no tempo, the folder's before the
// playlist's, one at a time, a deck's own track first; their Bpm cells fill in.
TEST_F(BackgroundAnalysisTest, TheLibrarysTracksWithoutATempoFollowOneAtATime) {
    build(true);
    MusicLibrary& library = rig->music.library();
    std::vector<FolderItem> items;
    for (const char* name : {"A - One.wav", "B - Two.wav", "C - Three.wav"}) {
        const std::string path =
            track(name, {.bpm = 100.0 + 10 * static_cast<double>(items.size()), .seconds = 15});
        items.push_back({name, path, static_cast<uint32_t>(std::filesystem::file_size(path))});
    }
    rig->database.findOrAdd(items[1].path, items[1].size)->bpm = 111.0f;  // known already
    const std::string listed = track("D - Four.wav", {.bpm = 95, .seconds = 15});
    const std::string onDeck = track("E - Five.wav", {.bpm = 133, .seconds = 15});
    library.fillFiles(items);
    library.insertIntoPlaylist(-1, {trackEntryForPath(listed, rig->database)});
    std::vector<std::string> expected;
    for (const LibraryRow& row : library.files().rows())
        if (row.entry.record->currentBpm() == 0.0f) expected.push_back(row.entry.path);
    ASSERT_EQ(expected.size(), 2u);

    log->delayMicroseconds = 1000;
    rig->tick(100);  // the display refresh queues the first
    rig->tick(100);  // and no second while it runs
    ASSERT_TRUE(waitFor([&] { return log->blocks > 10; }));
    EXPECT_EQ(log->openedSoFar(), std::vector<std::string>{expected[0]});
    load(0, onDeck);
    log->delayMicroseconds = 0;
    ASSERT_TRUE(deliverNext());
    EXPECT_NEAR(record(0)->currentBpm(), 133.0, 0.3);
    ASSERT_TRUE(deliverUntil([&] { return !analysis->busy(); }));
    EXPECT_EQ(log->openedSoFar(),
              (std::vector<std::string>{expected[0], onDeck, expected[0], expected[1], listed}));

    for (const LibraryRow& row : library.files().rows())
        EXPECT_FALSE(rowText(row.entry, 2).empty()) << row.entry.path;
    EXPECT_EQ(rowText(library.playlist().row(0).entry, 2), "95.0");
    EXPECT_EQ(rowText(library.files().row(0).entry, 2).substr(0, 2), "10");  // A - One, at 100
    // Nothing more to do; the display refresh queues nothing again.
    rig->tick(1000);
    EXPECT_FALSE(analysis->busy());

    // Once the store's grids are known, the track whose tempo was known without a grid
    // is analysed for one.
    TrackRecord* known = rig->database.findOrAdd(items[1].path, items[1].size);
    EXPECT_EQ(known->grid, nullptr);
    analysis->gridsKnown();
    rig->tick(100);
    ASSERT_TRUE(deliverUntil([&] { return !analysis->busy(); }));
    ASSERT_NE(known->grid, nullptr);
    EXPECT_NEAR(known->shownBpm(), 110.0, 0.01);
}

}  // namespace
}  // namespace spinlorex
