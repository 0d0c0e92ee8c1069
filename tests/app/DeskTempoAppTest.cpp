// The desk program learns the tempo of a never-played track before it is played, and
// fills the files list's Bpm cells, on Qt's offscreen platform.

#include <gtest/gtest.h>

#include <QtWidgets/QApplication>

#include "app/DeskApp.h"
#include "app/DeskAppFixture.h"
#include "app/DeskWindow.h"
#include "app/library/LibraryBrowser.h"
#include "audio/DeckPair.h"
#include "desk/MixingDesk.h"
#include "library/views/TrackListView.h"

namespace spinlorex {
namespace {

using test::processUntil;

class DeskTempoAppTest : public test::DeskAppFixture {
protected:
    DeskTempoAppTest() : DeskAppFixture("Warm - Up.wav", 30) {}

    void SetUp() override {
        DeskAppFixture::SetUp();
        settings().initialFolder = std::vector<uint8_t>{0xFF, 0xFF, 0xFF, 0xFF};  // the home folder
        incoming_ = elsewhere_.file("Peak - Time.wav");
        synth::writeWav(incoming_,
                        synth::render({.bpm = 128,
                                       .seconds = 50,
                                       .seed = 3,
                                       .introBeats = 32,
                                       .introBpm = 120,
                                       .introKick = true}),
                        44100, 2, 16);
    }

    test::TempDir elsewhere_;
    std::string incoming_;
};

TEST_F(DeskTempoAppTest, ANewTrackShowsItsTrueTempoBeforeItPlaysAndMagicBringsItIn) {
    set(settings().limitPitch, 1);
    DeskApp app;
    ASSERT_TRUE(app.create()) << (fatalError() ? fatalError() : "");
    app.window().show();
    MixingDesk& desk = *app.desk();
    DeckPair& decks = *app.decks();

    // The files list of the home folder: its track's Bpm cell fills in by itself.
    TrackListView& files = app.library()->filesView();
    ASSERT_TRUE(
        processUntil([&] { return !app.library()->filling() && files.model()->rowCount() == 1; }));
    ASSERT_TRUE(
        processUntil([&] { return !files.model()->index(0, 2).data().toString().isEmpty(); }));
    EXPECT_NEAR(files.model()->index(0, 2).data().toString().toDouble(), 120.0, 0.3);

    desk.loadOntoDeck(0, TrackEntry{"Warm", "Up.wav", track_, nullptr});
    desk.transport().playPause(0);
    ASSERT_TRUE(processUntil([&] { return std::abs(decks[0].effectiveBpm() - 120.0) < 0.3; }));

    // Dropped from elsewhere: its first seconds run at 120 BPM, the rest at 128.
    ASSERT_TRUE(desk.dropOntoDeck(1, TrackEntry{"Peak", "Time.wav", incoming_, nullptr}));
    ASSERT_TRUE(test::waitForLoads(desk));
    const TrackRecord& record = *decks[1].track()->record;
    ASSERT_TRUE(processUntil([&] { return decks[1].analysis()->bpmConfidence > 1000; }));
    EXPECT_NEAR(record.currentBpm(), 128.0, 0.3);
    const auto matched = static_cast<int32_t>(decks[0].effectiveBpm() / record.currentBpm() * 4096);
    EXPECT_EQ(decks[1].pitch(), matched);
    EXPECT_FALSE(decks[1].playing());

    desk.sync().magicSync(1);
    EXPECT_TRUE(decks[1].playing());
    EXPECT_EQ(decks[1].pitch(), matched);
    EXPECT_NEAR(decks[1].effectiveBpm(), decks[0].effectiveBpm(), 0.1);
    app.destroy();
}

}  // namespace
}  // namespace spinlorex
