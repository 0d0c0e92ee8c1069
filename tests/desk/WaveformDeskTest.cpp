// The waveforms on the desk: where each deck's waveform stands against what is heard, the
// overview's click, the band's switch and its setting, and the summary made at a load,
// drawn while it grows, kept in the track store and taken from it at the next load.

#include <gtest/gtest.h>

#include "auxwindows/DeckWave.h"
#include "auxwindows/WaveformPainter.h"
#include "desk/BackgroundAnalysis.h"
#include "desk/DeskRig.h"
#include "library/TrackStore.h"
#include "platform/settings/SettingsStore.h"
#include "support/AnalysisReaders.h"
#include "support/Files.h"
#include "tools/synth/Synth.h"

namespace spinlorex {
namespace {

using test::waitFor;

class WaveformDeskTest : public test::DeskTest {};

// At each speed the play line stands on the second heard, and a second of playing moves
// it by a second times the speed (the phase lock's trim included).
TEST_F(WaveformDeskTest, TheWaveformScrollsWithTheHeardPositionAtTheDecksSpeed) {
    test::DeskRig rig(120, 20);
    rig.load(0);
    rig.call([&] { rig.desk.transport().playPause(0); });
    for (const int32_t pitch : {4096, 4506, 3277, 4915}) {
        rig.call([&] { rig.desk.setDeckPitch(0, pitch); });
        rig.play(500);
        const DeckWave before = readDeckWave(rig.deck(0), nullptr);
        EXPECT_DOUBLE_EQ(before.speed, pitch / 4096.0);
        EXPECT_DOUBLE_EQ(before.heardSeconds,
                         rig.deck(0).position() * double(rig.deck(0).trackFrames()) / 44100);
        rig.play(1000);
        const DeckWave after = readDeckWave(rig.deck(0), nullptr);
        EXPECT_NEAR(after.heardSeconds - before.heardSeconds, pitch / 4096.0, 0.03) << pitch;
        const ScrollWindow w = scrollWindow(after.heardSeconds, after.speed, 8.0, 800);
        EXPECT_DOUBLE_EQ(w.secondsAt(w.playX), after.heardSeconds);
        EXPECT_NEAR(w.secondsAt(w.playX + 100) - after.heardSeconds, pitch / 4096.0, 1e-9);
    }
    rig.call([&] { rig.deck(0).setPitchTrim(8); });
    EXPECT_DOUBLE_EQ(readDeckWave(rig.deck(0), nullptr).speed, (4915 + 8) / 4096.0);
}

// A click in an overview takes the deck to that point of its track: a playing deck plays
// on from there, a cued one waits there, a running mix stops, the very end ends the track.
TEST_F(WaveformDeskTest, AClickInTheOverviewSeeksTheDeck) {
    test::DeskRig rig(120, 60);
    rig.load(0);
    rig.load(1);
    rig.call([&] { rig.desk.transport().playPause(0); });
    rig.play(300);
    rig.call([&] { rig.desk.input().seekFromOverview(0, overviewFraction(600, 800)); });
    EXPECT_TRUE(rig.deck(0).playing());
    EXPECT_FLOAT_EQ(rig.deck(0).position(), 0.75f);
    rig.call([&] { rig.desk.input().seekFromOverview(1, overviewFraction(200, 800)); });
    EXPECT_FALSE(rig.deck(1).playing());
    EXPECT_EQ(std::llround(rig.deck(1).position() * double(rig.deck(1).trackFrames())),
              rig.deck(1).trackFrames() / 4);
    rig.call([&] { rig.desk.input().seekFromOverview(0, overviewFraction(900, 800)); });
    EXPECT_FALSE(rig.deck(0).playing());
    EXPECT_LT(rig.deck(0).position(), 0.0f);
}

// W and the band's switch flip the band and the "Waveforms" setting, which a save keeps.
TEST_F(WaveformDeskTest, TheSwitchShowsTheBandItNamesAndTheSettingKeepsIt) {
    test::DeskRig rig;
    EXPECT_TRUE(rig.key('W'));
    EXPECT_EQ(get(settings().waveforms), 1);
    rig.call([&] { rig.desk.input().toggleWaveforms(); });
    EXPECT_EQ(get(settings().waveforms), 0);
    EXPECT_TRUE(rig.key('W'));
    EXPECT_EQ(rig.shell.waveformsShown, (std::vector<bool>{true, false, true}));

    test::TempDir dir;
    const std::string file = dir.file("settings.reg");
    saveSettings(settings(), file);
    Settings loaded;
    loadSettings(loaded, file, {});
    EXPECT_EQ(get(loaded.waveforms), 1);
}

class WaveformAnalysisTest : public test::DeskTest {
protected:
    void SetUp() override {
        test::DeskTest::SetUp();
        rig = std::make_unique<test::DeskRig>(0, 0);
        analysis = std::make_unique<BackgroundAnalysis>(rig->decks, rig->database, ready,
                                                        test::loggingReaders(log));
        rig->desk.setBackgroundAnalysis(analysis.get());
        store.open(dir.path().string());
        store.flush();
        store.takeLoaded();
        analysis->attachStore(&store);
    }
    void TearDown() override {
        analysis.reset();
        rig.reset();
        store.close();
        test::DeskTest::TearDown();
    }
    std::string track(const std::string& name) {
        const std::string path = dir.file(name);
        const synth::Params p{.bpm = 124, .seconds = 12};
        EXPECT_TRUE(synth::writeWav(path, synth::render(p), 44100, 2, 16));
        return path;
    }
    void load(int d, const std::string& path) {
        rig->call([&] { rig->desk.loadOntoDeck(d, TrackEntry{"", "", path, nullptr}); });
    }
    bool deliverNext() {
        if (!waitFor([&] { return ready.count > delivered; })) return false;
        delivered = ready.count;
        rig->call([&] { analysis->deliver(); });
        return true;
    }
    int opened(const std::string& path) {
        const std::vector<std::string> all = log->openedSoFar();
        return static_cast<int>(std::count(all.begin(), all.end(), path));
    }

    test::TempDir dir;
    std::shared_ptr<test::ReadLog> log = std::make_shared<test::ReadLog>();
    test::ReadyCount ready;
    int delivered = 0;
    TrackStore store;
    std::unique_ptr<test::DeskRig> rig;
    std::unique_ptr<BackgroundAnalysis> analysis;
};

// The summary is drawn while the load's pass makes it, then kept in the record and the
// store; loaded again with its tempo known and the summary only in the store, the track
// gets the stored one and its file is not read again.
TEST_F(WaveformAnalysisTest, TheSummaryGrowsAtTheLoadAndIsTakenFromTheStoreNextTime) {
    const std::string path = track("kept.wav");
    log->delayMicroseconds = 300;
    load(0, path);
    ASSERT_NE(analysis->liveWaveform(0), nullptr);
    ASSERT_TRUE(waitFor([&] { return analysis->liveWaveform(0)->count() > 10; }));
    EXPECT_GT(readDeckWave(rig->deck(0), analysis->liveWaveform(0)).view.count, 10);
    log->delayMicroseconds = 0;
    ASSERT_TRUE(deliverNext());
    TrackRecord* record = rig->deck(0).track()->record;
    ASSERT_NE(record->waveform, nullptr);
    EXPECT_EQ(readDeckWave(rig->deck(0), nullptr).view.columns, record->waveform->columns.data());
    EXPECT_EQ(
        static_cast<int64_t>(record->waveform->columns.size()) * record->waveform->columnFrames,
        (rig->deck(0).trackFrames() + record->waveform->columnFrames - 1) /
            record->waveform->columnFrames * record->waveform->columnFrames);
    const WaveformSummary made = *record->waveform;
    store.flush();

    // As in the next run: the record has its tempo and grid, not the summary.
    record->waveform = nullptr;
    load(1, path);
    store.flush();
    rig->call([&] { analysis->deliverWaveforms(); });
    ASSERT_NE(record->waveform, nullptr);
    EXPECT_EQ(*record->waveform, *decodeWaveform(encodeWaveform(made)));
    EXPECT_EQ(opened(path), 1);
    EXPECT_FALSE(analysis->busy());
}

// A file the pass cannot read leaves the deck without a summary: its waveform and overview
// show nothing but the lines, and nothing fails.
TEST_F(WaveformAnalysisTest, AnUnreadableFileShowsNothing) {
    const std::string path = track("broken.wav");
    log->failing.insert(path);
    load(0, path);
    ASSERT_TRUE(deliverNext());
    EXPECT_EQ(rig->deck(0).track()->record->waveform, nullptr);
    const DeckWave deck = readDeckWave(rig->deck(0), analysis->liveWaveform(0));
    EXPECT_TRUE(deck.view.empty());
    std::vector<uint32_t> pixels(200 * 10, 0x12345678);
    const Canvas canvas{pixels.data(), 200, 10, 200};
    drawOverview(canvas, deck.view, deck.trackFrames, deck.playedFraction, -1);
    for (int32_t x = 1; x < 200; ++x) EXPECT_EQ(canvas.at(x, 5), kWaveColours.back) << x;
    EXPECT_EQ(canvas.at(0, 5), kWaveColours.play);
}

}  // namespace
}  // namespace spinlorex
