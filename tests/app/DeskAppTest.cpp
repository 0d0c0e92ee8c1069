// The desk program's window on Qt's offscreen platform: start-up and shutdown, painting,
// keys reaching the desk first, the close question, the sound thread's messages.

#include "app/DeskApp.h"

#include <gtest/gtest.h>

#include <QtCore/QTimer>
#include <QtCore/QUrl>
#include <QtGui/QKeyEvent>
#include <QtWidgets/QAbstractButton>
#include <QtWidgets/QApplication>

#include <cstdlib>
#include <filesystem>

#include "app/DeskAppFixture.h"
#include "app/DeskWindow.h"
#include "app/SingleInstance.h"
#include "app/TrackNames.h"
#include "app/dialogs/DeskDialog.h"
#include "audio/DeckPair.h"
#include "desk/MixingDesk.h"
#include "platform/core/FatalError.h"
#include "platform/settings/Settings.h"
#include "platform/settings/SettingsStore.h"
#include "tools/synth/Synth.h"

namespace spinlorex {
namespace {

using test::processUntil;

// Answers the next yes/no question from inside its event loop.
void answerNextQuestion(bool yes) {
    test::withNextModal<YesNoDialog>([yes](YesNoDialog& d) { (yes ? d.yesButton() : d.noButton()).click(); });
}

class DeskAppTest : public test::DeskAppFixture {
protected:
    DeskAppTest() : DeskAppFixture("Test Artist - Test Title.wav", 20) {}
};

TEST_F(DeskAppTest, StartsPaintsTheDeskAndSavesTheSettingsAtTheEnd) {
    {
        DeskApp app;
        ASSERT_TRUE(app.create()) << (fatalError() ? fatalError() : "");
        app.window().show();
        // The empty decks ask for a file, in the skin's yellow, once the display refreshed.
        auto yellowInPanel = [&] {
            const QImage shown = app.window().grab().toImage();
            int yellow = 0;
            for (int y = 130; y < 230; ++y)
                for (int x = 270; x < 390; ++x) {
                    const QColor c = shown.pixelColor(x, y);
                    if (c.red() > 200 && c.green() > 200 && c.blue() < 80) ++yellow;
                }
            return yellow;
        };
        EXPECT_TRUE(processUntil([&] { return yellowInPanel() > 50; }));
        EXPECT_EQ(app.desk()->currentPanel(), 0);
        app.destroy();
    }
    EXPECT_TRUE(std::filesystem::exists(config_.path() / "settings.reg"));
}

TEST_F(DeskAppTest, KeysReachTheDeskFirstAndTheCloseQuestionGuardsPlayingMusic) {
    DeskApp app;
    ASSERT_TRUE(app.create());
    app.window().show();
    MixingDesk& desk = *app.desk();
    ASSERT_TRUE(desk.dropOntoDeck(0, trackEntryForFile(track_)));
    EXPECT_EQ(desk.titleLine1(0), "Test Artist");
    EXPECT_EQ(desk.titleLine2(0), "Test Title");

    // SPACE plays the selected deck, wherever the key is pressed.
    QKeyEvent space(QEvent::KeyPress, Qt::Key_Space, Qt::NoModifier, " ");
    QApplication::sendEvent(&app.window(), &space);
    ASSERT_TRUE(processUntil([&] { return desk.deckInfo(0).position > 0.01f; }));

    // Music plays: the question comes, and No keeps everything running.
    answerNextQuestion(false);
    EXPECT_FALSE(app.window().close());
    EXPECT_TRUE(app.window().isVisible());
    const float before = desk.deckInfo(0).position;
    ASSERT_TRUE(processUntil([&] { return desk.deckInfo(0).position > before; }));

    answerNextQuestion(true);
    EXPECT_TRUE(app.window().close());
    app.destroy();
}

TEST_F(DeskAppTest, TheEndOfATrackReachesTheDeskThroughTheEventLoop) {
    synth::Params p;
    p.seconds = 2;
    const std::string shortTrack = home_.file("short.wav");
    synth::writeWav(shortTrack, synth::render(p), 44100, 2, 16);
    DeskApp app;
    ASSERT_TRUE(app.create());
    MixingDesk& desk = *app.desk();
    ASSERT_TRUE(desk.dropOntoDeck(1, trackEntryForFile(shortTrack)));
    desk.playPause(1);
    ASSERT_TRUE(processUntil([&] { return desk.deckInfo(1).position < 0.0f; }, 15));
    app.destroy();
}

TEST_F(DeskAppTest, TwoLoadedDecksShowTheirTitlesTimesAndHands) {
    synth::Params p;
    p.bpm = 128;
    p.seconds = 30;
    p.seed = 3;
    const std::string second = home_.file("Other Artist - Second Track.wav");
    synth::writeWav(second, synth::render(p), 44100, 2, 16);
    DeskApp app;
    ASSERT_TRUE(app.create());
    app.window().show();
    MixingDesk& desk = *app.desk();
    ASSERT_TRUE(desk.dropOntoDeck(0, trackEntryForFile(track_)));
    ASSERT_TRUE(desk.dropOntoDeck(1, trackEntryForFile(second)));
    desk.playPause(0);
    desk.playPause(1);
    ASSERT_TRUE(processUntil([&] { return desk.deckInfo(0).position > 0.1f && desk.deckInfo(1).position > 0.07f; }));
    const QImage shown = app.window().grab().toImage();
    // The hands have left 12 o'clock: the disc areas differ from the skin's empty platters.
    EXPECT_NE(shown.copy(20, 140, 140, 140), QImage());
    if (const char* path = std::getenv("SPINLOREX_DESK_SCREENSHOT")) shown.save(path);
    EXPECT_EQ(desk.titleLine2(1), "Second Track");
    app.destroy();
}

TEST_F(DeskAppTest, TracksOfOtherRatesAndFormatsDropOntoTheDecksAndPlay) {
    // A file manager's drop takes the first track among its files, FLAC, Ogg and Opus too.
    EXPECT_EQ(firstAudioFile({QUrl::fromLocalFile("/m/cover.jpg"), QUrl::fromLocalFile("/m/a.FLAC")}), "/m/a.FLAC");
    for (const char* name : {"/m/b.ogg", "/m/c.oga", "/m/d.opus"})
        EXPECT_EQ(firstAudioFile({QUrl::fromLocalFile(name)}), name);
    EXPECT_EQ(firstAudioFile({QUrl::fromLocalFile("/m/notes.txt")}), "");

    const std::string wav48 = home_.file("Rate Artist - Forty-Eight.wav");
    const std::string flac = home_.file("Flac Artist - Lossless.flac");
    ASSERT_TRUE(synth::writeWav(wav48, synth::render({.bpm = 124, .seconds = 20, .sampleRate = 48000}), 48000, 2, 16));
    ASSERT_TRUE(synth::writeSndfile(flac, synth::render({.bpm = 126, .seconds = 20, .sampleRate = 96000}), 96000, 2, 24));
    DeskApp app;
    ASSERT_TRUE(app.create());
    app.window().show();
    MixingDesk& desk = *app.desk();
    ASSERT_TRUE(desk.dropOntoDeck(0, trackEntryForFile(wav48)));
    ASSERT_TRUE(desk.dropOntoDeck(1, trackEntryForFile(flac)));
    desk.playPause(0);
    desk.playPause(1);
    ASSERT_TRUE(processUntil([&] { return desk.deckInfo(0).position > 0.1f && desk.deckInfo(1).position > 0.1f; }));
    // At their true pitch the analysers hear the tempo the music was made at (played at
    // the wrong rate, the 48 kHz track would measure 135 BPM).
    for (const auto& [d, bpm] : {std::pair{0, 124.0}, {1, 126.0}}) {
        EXPECT_EQ(desk.deckInfo(d).status, 0u) << d;
        EXPECT_EQ(desk.deckInfo(d).duration, 20) << d;
        EXPECT_NEAR(desk.deckInfo(d).localBpm, bpm, 1.0) << d;
    }
    EXPECT_EQ(desk.titleLine2(1), "Lossless");
    if (const char* path = std::getenv("SPINLOREX_FORMATS_SCREENSHOT")) app.window().grab().toImage().save(path);
    app.destroy();
}

TEST_F(DeskAppTest, AFailedStartIsTornDownInOrderAndStillSavesTheSettings) {
    ::setenv("SPINLOREX_AUDIO", ("wav:" + home_.file("no-such-folder/out.wav")).c_str(), 1);
    {
        DeskApp app;
        EXPECT_FALSE(app.create());
        EXPECT_STREQ(fatalError(), "Error in the sound driver of DirectX");
        app.destroy();
    }
    EXPECT_TRUE(std::filesystem::exists(config_.path() / "settings.reg"));
}

TEST_F(DeskAppTest, OnlyOneDeskHoldsTheInstanceLock) {
    const QString folder = QString::fromStdString(home_.path().string());
    SingleInstance first(folder);
    SingleInstance second(folder);
    EXPECT_TRUE(first.alone());
    EXPECT_FALSE(second.alone());
}

}  // namespace
}  // namespace spinlorex
