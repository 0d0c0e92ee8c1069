// The desk program as the dialogs' host: the plug-in choice per deck, a new skin applied
// while the desk runs, the audio engine rebuilt under playing decks; and the desk's own
// windows: the rhythm strip and the tooltip balloon.

#include <gtest/gtest.h>

#include <QtGui/QMouseEvent>
#include <QtWidgets/QComboBox>
#include <QtWidgets/QListWidget>

#include <cstdlib>
#include <filesystem>

#include "app/DeskApp.h"
#include "app/DeskAppFixture.h"
#include "app/DeskWindow.h"
#include "app/TrackNames.h"
#include "app/dialogs/DspDialog.h"
#include "audio/AudioEngine.h"
#include "audio/DeckPair.h"
#include "audio/HardMixOutput.h"
#include "audio/SoftMixOutput.h"
#include "auxwindows/RhythmWindow.h"
#include "auxwindows/Tooltip.h"
#include "desk/MixingDesk.h"
#include "platform/core/FatalError.h"
#include "platform/settings/Settings.h"
#include "plugins/DspPlugin.h"
#include "tools/synth/Synth.h"

namespace spinlorex {
namespace {

using test::processUntil;

class DeskAppDialogsTest : public test::DeskAppFixture {
protected:
    DeskAppDialogsTest() : DeskAppFixture("Artist - Title.wav", 30) {}
    void SetUp() override {
        DeskAppFixture::SetUp();
        appOwner_ = std::make_unique<DeskApp>();
        ASSERT_TRUE(app().create());
    }
    void TearDown() override {
        if (appOwner_) appOwner_->destroy();
        appOwner_.reset();
        DeskAppFixture::TearDown();
    }

    std::unique_ptr<DeskApp> appOwner_;
    DeskApp& app() { return *appOwner_; }
};

TEST_F(DeskAppDialogsTest, PlugInChoicesTakeEffectOnTheDeckAtOnce) {
    DeckPair& decks = *app().decks();
    DspDialog dialog(&app().window(), decks, {SPINLOREX_BUILD_PLUGIN_DIR});
    QListWidget& list = dialog.pluginList(0);
    ASSERT_GE(list.count(), 2);
    EXPECT_EQ(list.item(0)->text(), "(none)");
    EXPECT_EQ(decks[0].dspPlugin(), nullptr);

    list.setCurrentRow(1);  // the shipped effects: their first module
    auto* plugin = dynamic_cast<DspPlugin*>(decks[0].dspPlugin());
    ASSERT_NE(plugin, nullptr);
    EXPECT_EQ(plugin->moduleIndex(), 0);
    ASSERT_GE(dialog.effectList(0).count(), 2);
    EXPECT_EQ(decks[1].dspPlugin(), nullptr);  // the other deck is left alone

    // Another effect of the same file: a new instance at that module.
    dialog.effectList(0).setCurrentIndex(1);
    emit dialog.effectList(0).activated(1);
    plugin = dynamic_cast<DspPlugin*>(decks[0].dspPlugin());
    ASSERT_NE(plugin, nullptr);
    EXPECT_EQ(plugin->moduleIndex(), 1);

    // Reopened, the dialog shows the deck's choice.
    DspDialog again(&app().window(), decks, {SPINLOREX_BUILD_PLUGIN_DIR});
    EXPECT_EQ(again.pluginList(0).currentRow(), 1);
    EXPECT_EQ(again.effectList(0).currentIndex(), 1);
    EXPECT_EQ(again.pluginList(1).currentRow(), 0);
    if (const char* path = std::getenv("SPINLOREX_DSP_DIALOG_PICTURE")) again.grab().save(path);

    again.pluginList(0).setCurrentRow(0);  // "(none)"
    EXPECT_EQ(decks[0].dspPlugin(), nullptr);
}

TEST_F(DeskAppDialogsTest, TheEngineIsRebuiltUnderPlayingDecksWithoutLosingTheirPlace) {
    MixingDesk& desk = *app().desk();
    ASSERT_TRUE(desk.dropOntoDeck(0, trackEntryForFile(track_)));
    ASSERT_TRUE(test::waitForLoads(desk));
    ASSERT_TRUE(desk.dropOntoDeck(1, trackEntryForFile(track_)));
    ASSERT_TRUE(test::waitForLoads(desk));
    desk.transport().playPause(0);
    desk.transport().playPause(1);
    ASSERT_TRUE(processUntil([&] { return desk.deckInfo(0).position > 0.05f; }));

    set(settings().outputMode, 1);  // to the soft mix
    const float before = desk.deckInfo(0).position;
    app().rebuildAudioEngine();
    const float after = desk.deckInfo(0).position;
    EXPECT_NEAR(after, before, 0.01f);  // no jump: the new device starts where the deck is
    ASSERT_TRUE(processUntil([&] { return desk.deckInfo(0).position > after + 0.02f; }));
    EXPECT_TRUE((*app().decks())[0].playing());
    EXPECT_TRUE((*app().decks())[1].playing());
}

TEST_F(DeskAppDialogsTest, ARebuiltEngineWithHeadphonesPreListensToTheSelectedDeck) {
    MixingDesk& desk = *app().desk();
    desk.panels().selectDeck(1);
    set(settings().outputMode, 5);  // 3D card, speakers and headphones, hard mix
    app().rebuildAudioEngine();
    auto* output = dynamic_cast<HardMixOutput*>(app().engine()->output());
    ASSERT_NE(output, nullptr);
    EXPECT_EQ(output->volumeOf(Feed::PreListen, 0), sound::kMinVolume);
    EXPECT_GT(output->volumeOf(Feed::PreListen, 1), sound::kMinVolume);
}

TEST_F(DeskAppDialogsTest, ARefusedSkinKeepsTheOldOneAndTheDefaultAppliesLive) {
    EXPECT_FALSE(app().applySkin("no-such-skin"));
    EXPECT_STREQ(fatalError(), "Invalid skin file");
    clearFatalError();
    EXPECT_TRUE(app().applySkin(""));
    EXPECT_EQ(fatalError(), nullptr);
    MixingDesk& desk = *app().desk();
    ASSERT_TRUE(desk.dropOntoDeck(0, trackEntryForFile(track_)));
    ASSERT_TRUE(test::waitForLoads(desk));
    EXPECT_EQ(desk.transport().titleLine2(0), "Title");
}

TEST_F(DeskAppDialogsTest, TheRhythmStripRunsOnItsPlaceThroughSkinAndEngineChanges) {
    RhythmWindow& strip = *app().rhythm();
    EXPECT_TRUE(strip.running());
    EXPECT_EQ(strip.parentWidget(), &app().window());
    const QRect place = strip.geometry();
    EXPECT_GT(place.width(), 0);
    EXPECT_GT(place.height(), 0);
    ASSERT_TRUE(processUntil([&] { return strip.framesDrawn() > 3; }));

    // The dialogs suspend it around their changes; afterwards it goes on where it was.
    app().suspendRhythm();
    const uint64_t parked = strip.framesDrawn();
    ASSERT_TRUE(app().applySkin(""));
    app().rebuildAudioEngine();
    EXPECT_EQ(strip.framesDrawn(), parked);
    app().resumeRhythm();
    EXPECT_EQ(strip.geometry(), place);
    ASSERT_TRUE(processUntil([&] { return strip.framesDrawn() > parked + 3; }));
}

TEST_F(DeskAppDialogsTest, RestingOnAControlShowsItsBalloonOnlyWhileTooltipsAreOn) {
    app().window().show();
    Tooltip& tip = *app().tooltip();
    ASSERT_TRUE(tip.ready());
    // On the first deck's play button of the default skin (the window shows the desk 1:1).
    const int32_t x = 238, y = 326;
    auto moveTo = [&](int32_t px, int32_t py) {
        QMouseEvent move(QEvent::MouseMove, QPointF(px, py),
                         app().window().mapToGlobal(QPointF(px, py)), Qt::NoButton, Qt::NoButton,
                         Qt::NoModifier);
        QApplication::sendEvent(&app().window(), &move);
    };

    set(settings().toolTip, 1);
    moveTo(x, y);
    ASSERT_TRUE(processUntil([&] { return tip.window()->isVisible(); }, 3));
    EXPECT_EQ(tip.window()->geometry().bottomLeft(),
              app().window().mapToGlobal(QPoint(x - 2, y - 2)));
    QMouseEvent press(QEvent::MouseButtonPress, QPointF(x, y),
                      app().window().mapToGlobal(QPointF(x, y)), Qt::LeftButton, Qt::LeftButton,
                      Qt::NoModifier);
    QApplication::sendEvent(&app().window(), &press);
    EXPECT_FALSE(tip.window()->isVisible());
    QMouseEvent release(QEvent::MouseButtonRelease, QPointF(x, y),
                        app().window().mapToGlobal(QPointF(x, y)), Qt::LeftButton, Qt::NoButton,
                        Qt::NoModifier);
    QApplication::sendEvent(&app().window(), &release);

    set(settings().toolTip, 0);
    moveTo(x + 1, y);
    processUntil([] { return false; }, 0.8);
    EXPECT_FALSE(tip.window()->isVisible());
}

}  // namespace
}  // namespace spinlorex
