// The desk program's window on Qt's offscreen platform: start-up and shutdown, painting,
// keys reaching the desk first, the close question, the sound thread's messages.

#include "app/DeskApp.h"

#include <gtest/gtest.h>

#include <QtCore/QTimer>
#include <QtCore/QUrl>
#include <QtGui/QKeyEvent>
#include <QtGui/QWindow>
#include <QtWidgets/QAbstractButton>
#include <QtWidgets/QApplication>
#include <QtWidgets/QMessageBox>

#include <cstdlib>
#include <filesystem>

#include "app/DeskAppFixture.h"
#include "app/DeskWindow.h"
#include "app/SingleInstance.h"
#include "app/TrackNames.h"
#include "app/dialogs/DeskDialog.h"
#include "audio/AudioEngine.h"
#include "audio/DeckPair.h"
#include "desk/MixingDesk.h"
#include "library/TrackDatabase.h"
#include "platform/core/FatalError.h"
#include "platform/settings/Settings.h"
#include "platform/settings/SettingsStore.h"
#include "platform/sound/SoundBackends.h"
#include "recorder/MixRecorder.h"
#include "support/WavFile.h"
#include "tools/synth/Synth.h"

namespace spinlorex {
namespace {

using test::processUntil;

// Answers the next yes/no question from inside its event loop.
void answerNextQuestion(bool yes) {
    test::withNextModal<YesNoDialog>(
        [yes](YesNoDialog& d) { (yes ? d.yesButton() : d.noButton()).click(); });
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
        EXPECT_EQ(app.desk()->panels().currentPanel(), 0);
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
    ASSERT_TRUE(test::waitForLoads(desk));
    EXPECT_EQ(desk.transport().titleLine1(0), "Test Artist");
    EXPECT_EQ(desk.transport().titleLine2(0), "Test Title");

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
    ASSERT_TRUE(test::waitForLoads(desk));
    desk.transport().playPause(1);
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
    ASSERT_TRUE(test::waitForLoads(desk));
    ASSERT_TRUE(desk.dropOntoDeck(1, trackEntryForFile(second)));
    ASSERT_TRUE(test::waitForLoads(desk));
    processUntil([] { return false; }, 0.3);  // a display refresh or two
    const QImage cued = app.window().grab().toImage();
    desk.transport().playPause(0);
    desk.transport().playPause(1);
    ASSERT_TRUE(processUntil(
        [&] { return desk.deckInfo(0).position > 0.1f && desk.deckInfo(1).position > 0.07f; }));
    const QImage shown = app.window().grab().toImage();
    // The hands have left the start: both discs look different from the cued ones.
    for (const int x : {20, 640})
        EXPECT_NE(shown.copy(x, 140, 140, 140), cued.copy(x, 140, 140, 140)) << x;
    if (const char* path = std::getenv("SPINLOREX_DESK_SCREENSHOT")) shown.save(path);
    EXPECT_EQ(desk.transport().titleLine2(1), "Second Track");
    app.destroy();
}

TEST_F(DeskAppTest, TracksOfOtherRatesAndFormatsDropOntoTheDecksAndPlay) {
    // A file manager's drop takes the first track among its files, FLAC, Ogg and Opus too.
    EXPECT_EQ(
        firstAudioFile({QUrl::fromLocalFile("/m/cover.jpg"), QUrl::fromLocalFile("/m/a.FLAC")}),
        "/m/a.FLAC");
    for (const char* name : {"/m/b.ogg", "/m/c.oga", "/m/d.opus"})
        EXPECT_EQ(firstAudioFile({QUrl::fromLocalFile(name)}), name);
    EXPECT_EQ(firstAudioFile({QUrl::fromLocalFile("/m/notes.txt")}), "");

    const std::string wav48 = home_.file("Rate Artist - Forty-Eight.wav");
    const std::string flac = home_.file("Flac Artist - Lossless.flac");
    ASSERT_TRUE(synth::writeWav(
        wav48, synth::render({.bpm = 124, .seconds = 20, .sampleRate = 48000}), 48000, 2, 16));
    ASSERT_TRUE(synth::writeSndfile(
        flac, synth::render({.bpm = 126, .seconds = 20, .sampleRate = 96000}), 96000, 2, 24));
    DeskApp app;
    ASSERT_TRUE(app.create());
    app.window().show();
    MixingDesk& desk = *app.desk();
    ASSERT_TRUE(desk.dropOntoDeck(0, trackEntryForFile(wav48)));
    ASSERT_TRUE(test::waitForLoads(desk));
    ASSERT_TRUE(desk.dropOntoDeck(1, trackEntryForFile(flac)));
    ASSERT_TRUE(test::waitForLoads(desk));
    desk.transport().playPause(0);
    desk.transport().playPause(1);
    ASSERT_TRUE(processUntil(
        [&] { return desk.deckInfo(0).position > 0.1f && desk.deckInfo(1).position > 0.1f; }));
    // At their true pitch the analysers hear the tempo the music was made at (played at
    // the wrong rate, the 48 kHz track would measure 135 BPM).
    for (const auto& [d, bpm] : {std::pair{0, 124.0}, {1, 126.0}}) {
        EXPECT_EQ(desk.deckInfo(d).status, 0u) << d;
        EXPECT_EQ(desk.deckInfo(d).duration, 20) << d;
        EXPECT_NEAR(desk.deckInfo(d).localBpm, bpm, 1.0) << d;
    }
    EXPECT_EQ(desk.transport().titleLine2(1), "Lossless");
    if (const char* path = std::getenv("SPINLOREX_FORMATS_SCREENSHOT"))
        app.window().grab().toImage().save(path);
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

TEST_F(DeskAppTest, AWindowManagerCloseWaitsForTheQuitQuestionsAnswer) {
    DeskApp app;
    ASSERT_TRUE(app.create());
    app.window().show();
    MixingDesk& desk = *app.desk();
    ASSERT_TRUE(desk.dropOntoDeck(0, trackEntryForFile(track_)));
    ASSERT_TRUE(test::waitForLoads(desk));
    desk.transport().playPause(0);
    ASSERT_TRUE(processUntil([&] { return desk.deckInfo(0).position > 0.01f; }));

    // While the question is open the window manager asks again (its close comes to the
    // native window): that request waits, and the answer No keeps the music playing.
    bool secondAccepted = true;
    test::withNextModal<YesNoDialog>([&](YesNoDialog& d) {
        QCloseEvent fromWindowManager;
        QCoreApplication::sendEvent(app.window().windowHandle(), &fromWindowManager);
        secondAccepted = fromWindowManager.isAccepted();
        d.noButton().click();
    });
    EXPECT_FALSE(app.window().close());
    EXPECT_FALSE(secondAccepted);
    ASSERT_NE(app.window().windowHandle(), nullptr);
    EXPECT_NE(app.window().windowHandle()->handle(), nullptr) << "the native window was destroyed";
    EXPECT_TRUE(app.window().isVisible());
    EXPECT_TRUE((*app.decks())[0].playing());
    app.destroy();
}

TEST_F(DeskAppTest, AStopSignalClosesWithoutTheQuestionAndKeepsWhatWasLearnt) {
    for (const bool questionOpen : {false, true}) {
        SCOPED_TRACE(questionOpen ? "while the question is open" : "while the desk plays");
        std::filesystem::remove(config_.path() / "settings.reg");
        DeskApp app;
        ASSERT_TRUE(app.create());
        app.window().show();
        MixingDesk& desk = *app.desk();
        ASSERT_TRUE(desk.dropOntoDeck(0, trackEntryForFile(track_)));
        ASSERT_TRUE(test::waitForLoads(desk));
        desk.transport().playPause(0);
        ASSERT_TRUE(processUntil([&] { return desk.deckInfo(0).position > 0.01f; }));
        if (questionOpen) {
            // The signal comes while the user has the quit question in front of them.
            test::withNextModal<YesNoDialog>(
                [&](YesNoDialog&) { app.window().closeWithoutQuestion(); });
            EXPECT_TRUE(app.window().close());
        } else {
            app.window().closeWithoutQuestion();
            ASSERT_TRUE(processUntil([&] { return !app.window().isVisible(); }));
        }
        EXPECT_FALSE(app.window().isVisible());
        app.destroy();
        EXPECT_TRUE(std::filesystem::exists(config_.path() / "settings.reg"));
        // The playing deck's record reached the database.
        TrackDatabase db;
        ASSERT_TRUE(db.open(home_.path().string()));
        ASSERT_FALSE(db.records().empty());
        EXPECT_EQ(db.records().front().name, std::filesystem::path(track_).filename().string());
    }
}

TEST_F(DeskAppTest, ACrashedDeskDoesNotSaveItsSettings) {
    DeskApp app;
    ASSERT_TRUE(app.create());
    app.destroy(/*saveSettings=*/false);
    EXPECT_FALSE(std::filesystem::exists(config_.path() / "settings.reg"));
}

TEST_F(DeskAppTest, ADamagedDatabaseIsSetAsideAndTheDeskSaysSoOnceItIsUp) {
    test::writeFile(home_.file(TrackDatabase::kFileName), test::Bytes(40, 0xEE));
    DeskApp app;
    ASSERT_TRUE(app.create());
    app.window().show();
    ASSERT_EQ(app.pendingNotices().size(), 1u);
    QString told;
    test::withNextModal<QMessageBox>([&](QMessageBox& box) {
        told = box.text();
        box.accept();
    });
    ASSERT_TRUE(processUntil([&] { return !told.isEmpty(); }));
    EXPECT_TRUE(told.startsWith("The internal database is corrupted.")) << told.toStdString();
    EXPECT_TRUE(
        told.contains(QString::fromStdString(home_.file(TrackDatabase::kFileName) + "damaged-")));
    EXPECT_TRUE(app.pendingNotices().empty());
    EXPECT_TRUE(app.desk() != nullptr);  // the desk runs
    app.destroy();
}

// The null sound system, refusing every device while told to (a card another program holds).
class RefusingSystem : public sound::SoundSystem {
public:
    explicit RefusingSystem(std::shared_ptr<std::atomic<bool>> refuse)
        : refuse_(std::move(refuse)) {}
    const char* backendName() const override { return "refusing"; }
    std::vector<sound::DeviceInfo> devices() override { return inner_->devices(); }
    std::unique_ptr<sound::SoundDevice> open(const std::optional<sound::DeviceId>& id,
                                             int32_t channels, bool exclusive,
                                             sound::SoundError& error) override {
        if (*refuse_) {
            error = sound::SoundError::Busy;
            return nullptr;
        }
        return inner_->open(id, channels, exclusive, error);
    }

private:
    std::shared_ptr<std::atomic<bool>> refuse_;
    std::unique_ptr<sound::SoundSystem> inner_ = sound::createNullSystem();
};

TEST_F(DeskAppTest, AConfigurationWhoseDeviceIsRefusedFallsBackToSilenceAndTheDeskGoesOn) {
    auto refuse = std::make_shared<std::atomic<bool>>(false);
    DeskApp app([refuse] { return std::make_unique<RefusingSystem>(refuse); });
    ASSERT_TRUE(app.create());
    app.window().show();
    MixingDesk& desk = *app.desk();
    ASSERT_TRUE(desk.dropOntoDeck(0, trackEntryForFile(track_)));
    ASSERT_TRUE(test::waitForLoads(desk));

    *refuse = true;  // "OK" in the sound configuration, and the card is busy
    app.rebuildAudioEngine();
    EXPECT_EQ(fatalError(), nullptr);
    QString told;
    test::withNextModal<QMessageBox>([&](QMessageBox& box) {
        told = box.text();
        box.accept();
    });
    ASSERT_TRUE(processUntil([&] { return !told.isEmpty(); }));
    EXPECT_EQ(told.toStdString(),
              std::string("The sound card is already used by another application") +
                  DeskApp::kPlaysSilently);

    // The decks still answer, and play on without sound.
    desk.transport().playPause(0);
    ASSERT_TRUE(processUntil([&] { return desk.deckInfo(0).position > 0.01f; }));
    desk.transport().playPause(0);
    EXPECT_FALSE((*app.decks())[0].playing());
    app.destroy();
    EXPECT_TRUE(std::filesystem::exists(config_.path() / "settings.reg"));
}

TEST_F(DeskAppTest,
       ARecordingGoesOnAcrossANewConfigurationThatRecordsAndEndsWithAMessageOtherwise) {
    set(settings().outputMode, 1);
    DeskApp app;
    ASSERT_TRUE(app.create());
    MixingDesk& desk = *app.desk();
    ASSERT_TRUE(desk.dropOntoDeck(0, trackEntryForFile(track_)));
    ASSERT_TRUE(test::waitForLoads(desk));
    desk.transport().playPause(0);
    const std::string path = home_.file("mix.wav");
    auto owned = std::make_unique<MixRecorder>(path);
    MixRecorder& recorder = *owned;
    AudioEngine& engine = *app.engine();
    engine.output()->attachRecorder(std::move(owned));
    ASSERT_TRUE(processUntil([&] { return recorder.framesWritten() > 10000; }));

    // Another soft-mix configuration (another card): the same recording goes on.
    app.rebuildAudioEngine();
    ASSERT_EQ(engine.output()->recorder(), &recorder);
    const int32_t before = recorder.framesWritten();
    ASSERT_TRUE(processUntil([&] { return recorder.framesWritten() > before + 10000; }));

    // The hard mix cannot record: the recording ends, the file whole, and the panel says so.
    set(settings().outputMode, 0);
    app.rebuildAudioEngine();
    EXPECT_EQ(engine.output()->recorder(), nullptr);
    EXPECT_EQ(
        desk.panels().recordEndMessage().substr(0, desk.panels().recordEndMessage().find('\n')),
        DeskApp::kRecordingEndedByMode);
    const test::WavFile wav = test::readWav(path);
    EXPECT_TRUE(wav.valid);
    EXPECT_GT(wav.dataSize, uint32_t(before + 10000) * 4);
    app.destroy();
}

}  // namespace
}  // namespace spinlorex
