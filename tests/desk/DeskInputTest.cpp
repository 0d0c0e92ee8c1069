// The mouse on the desk's controls, closing, drops under "Baby secure", the panels and
// the display refresh.

#include "audio/OutputDevice.h"
#include "desk/DeskRig.h"
#include "desk/display/OptionLines.h"

namespace spinlorex::test {
namespace {

using DeskInput = DeskTest;

TEST_F(DeskInput, RightDragsOfSlidersSpringBackExactlyAndLeftDragsKeep) {
    DeskRig rig;
    rig.load(0);
    rig.call([&] {
        rig.desk.faders().setFaderMode(0);
        rig.desk.setDeckPitch(0, 4101);  // between two slider steps: only a restore gets it back
    });
    const SkinControl& slider = rig.skin.control(ctl::Pitch1);
    const int32_t x = (slider.hitLeft + slider.hitRight) / 2;
    const int32_t knobCentre = slider.hitTop + rig.desk.faders().pitchSlider(0) * 126 / 256 + 10;

    rig.down(x, knobCentre, false);
    rig.move(x, 150);
    EXPECT_EQ(rig.deck(0).pitch(), 3050);  // near the top: slow
    EXPECT_TRUE(rig.shell.captured);
    rig.up();
    EXPECT_EQ(rig.deck(0).pitch(), 4101);
    EXPECT_FALSE(rig.shell.captured);

    rig.down(x, knobCentre, true);
    rig.move(x, 150);
    rig.up();
    EXPECT_EQ(rig.deck(0).pitch(), 3050);

    // The volume slider alike; its knob is redrawn at every change.
    rig.call([&] {
        rig.desk.faders().setFaderMode(1);
        rig.desk.setDeckLevel(0, 201);
    });
    EXPECT_TRUE(rig.view.logged("knob 24 0 55"));
    rig.down(x, 240, false);
    EXPECT_LT(rig.desk.faders().deckLevel(0), 100);
    rig.up();
    EXPECT_EQ(rig.desk.faders().deckLevel(0), 201);
    rig.down(x, 240, true);
    rig.up();
    EXPECT_LT(rig.desk.faders().deckLevel(0), 100);
    rig.call([&] { rig.desk.setDeckLevel(0, 256); });

    // A right drag superseded by a left press elsewhere: its spring-back value must not
    // land on the second control.
    rig.down(x, 200, false);  // the volume slider now, off its knob: jumps
    const int32_t bent = rig.desk.faders().deckLevel(0);
    EXPECT_LT(bent, 256);
    const SkinControl& fader = rig.skin.control(ctl::Crossfader);
    rig.down(fader.hitLeft + 60, fader.hitTop + 5, true);
    const int32_t moved = rig.desk.faders().crossfader();
    EXPECT_NE(moved, 192);
    rig.up();
    EXPECT_EQ(rig.desk.faders().crossfader(), moved);
    EXPECT_EQ(rig.desk.faders().deckLevel(0), bent);
}

TEST_F(DeskInput, ClickingTheCrossfaderOffItsKnobPutsTheKnobCentreUnderThePointer) {
    DeskRig rig;
    const SkinControl& fader = rig.skin.control(ctl::Crossfader);
    const int32_t w = rig.skin.control(ctl::HorizontalFader).width;
    const int32_t travel = fader.hitRight - fader.hitLeft - w;
    const auto knobCentre = [&] {
        return fader.hitLeft + rig.desk.faders().crossfader() * travel / 384 + w / 2;
    };
    const int32_t y = fader.hitTop + 5;

    rig.down(300, y);
    EXPECT_NEAR(knobCentre(), 300, 1);
    EXPECT_EQ(rig.view.crossfaderKnob, rig.desk.faders().crossfader());
    rig.move(460, y);  // dragged with the grab kept
    EXPECT_NEAR(knobCentre(), 460, 1);
    rig.move(2000, y);
    EXPECT_EQ(rig.desk.faders().crossfader(), 384);
    rig.up();
    EXPECT_EQ(rig.desk.faders().crossfader(), 384);

    // On the knob: nothing moves until the mouse does.
    rig.down(knobCentre() + 3, y);
    EXPECT_EQ(rig.desk.faders().crossfader(), 384);
    rig.up();
}

TEST_F(DeskInput, ClickingTheTopOfADiscEndsTheTrackAtOnce) {
    set(settings().autoMix, 1);
    DeskRig rig;
    rig.load(0);
    rig.call([&] { rig.deck(0).play(); });
    rig.play(3000);  // seconds of audio decoded ahead of the listener
    const SkinControl& disc = rig.skin.control(ctl::Disc1);
    rig.down(disc.hitLeft, disc.hitTop - disc.radius / 2);
    EXPECT_FALSE(rig.deck(0).playing());
    EXPECT_LT(rig.deck(0).position(), 0.0f);
    rig.play(3000);
    EXPECT_LT(rig.deck(0).position(), 0.0f);  // nothing of the old audio plays on
    EXPECT_EQ(rig.deliverMessages(), 0);

    // As at the end of a track, automatic mixing takes the next one from the playlist.
    rig.library.playlist.push_back({"Next", "Song", "next.mp3", nullptr});
    rig.down(disc.hitLeft, disc.hitTop - disc.radius / 2);
    EXPECT_EQ(rig.view.titles[0], "Next/Song");

    // Three o'clock is a quarter of the track, and the deck plays from there.
    rig.down(disc.hitLeft + disc.radius / 2, disc.hitTop);
    EXPECT_TRUE(rig.deck(0).playing());
    EXPECT_NEAR(rig.deck(0).position(), 0.25f, 0.001f);
}

TEST_F(DeskInput, ButtonsActOnReleaseWhereverThePointerIsAndASecondPressDropsTheFirst) {
    DeskRig rig;
    rig.press(ctl::Close);
    EXPECT_TRUE(rig.view.isOn(ctl::Close));
    rig.up(10, 590);
    EXPECT_EQ(rig.shell.closeRequests, 1);
    EXPECT_FALSE(rig.view.isOn(ctl::Close));
    EXPECT_FALSE(rig.shell.captured);

    rig.press(ctl::Close);
    rig.press(ctl::Minimize);
    rig.up();
    EXPECT_EQ(rig.shell.closeRequests, 1);
    EXPECT_EQ(rig.shell.minimizes, 1);
}

TEST_F(DeskInput, EachDeckControlActsOnItsOwnDeckAndItsOwnSetting) {
    DeskRig rig;
    rig.addSyncButtons();
    rig.load(0, 128.0f);
    rig.load(1, 100.0f);
    rig.press(ctl::Infos2);
    EXPECT_TRUE(rig.desk.input().infoExtended());
    EXPECT_EQ(rig.desk.selectedDeck(), 1);
    rig.press(ctl::Platine1);
    EXPECT_EQ(rig.desk.selectedDeck(), 0);
    EXPECT_TRUE(rig.desk.input().infoExtended());
    rig.press(ctl::Infos1);
    EXPECT_FALSE(rig.desk.input().infoExtended());

    rig.press(ctl::MenuPitch2);
    EXPECT_EQ(rig.desk.faders().faderMode(), 0);
    rig.press(ctl::MenuLevel1);
    EXPECT_EQ(rig.desk.faders().faderMode(), 1);

    // 128 BPM against 100: deck 2 at 1.28 x 4096; its level to what deck 1 sounds like.
    rig.deck(0).analysis()->loudnessPeak = 3000;
    rig.deck(1).analysis()->loudnessPeak = 4000;
    rig.press(ctl::SyncPitch2);
    rig.up();
    EXPECT_EQ(rig.deck(1).pitch(), 5242);
    EXPECT_EQ(rig.deck(0).pitch(), 4096);
    rig.press(ctl::SyncLevel2);
    rig.up();
    EXPECT_EQ(rig.desk.faders().deckLevel(1), 3000 * 256 / 4000);
    EXPECT_EQ(rig.desk.faders().deckLevel(0), 256);

    rig.press(ctl::Go2);  // magic: deck 2 matched and started
    rig.up();
    EXPECT_TRUE(rig.deck(1).playing());
    EXPECT_FALSE(rig.deck(0).playing());

    // F9..F12 shift each its own deck's key, never past six semitones; a load ends it.
    rig.call([&] {
        for (int i = 0; i < 8; ++i) rig.desk.input().onKeyDown(123);  // F12
        rig.desk.input().onKeyDown(120);                              // F9
    });
    EXPECT_EQ(rig.desk.keyShift(1), 6);
    EXPECT_EQ(rig.desk.keyShift(0), -1);
    rig.load(1, 100.0f);
    EXPECT_EQ(rig.desk.keyShift(1), 0);
}

TEST_F(DeskInput, WithCueStopTheStopAndMemoryButtonsSwapWhileTheDeckPlays) {
    DeskRig rig;
    rig.skin.values.cueStop = true;
    rig.load(0);
    rig.call([&] { rig.deck(0).play(); });
    rig.play(2000);
    rig.call([&] { rig.deck(0).pause(); });
    const float heard = rig.deck(0).position();
    rig.press(ctl::Stop1);  // paused: stop stores the cue point where it stands
    rig.up();
    EXPECT_EQ(rig.deck(0).analysis()->cuePoint, heard);
    EXPECT_EQ(rig.deck(0).position(), heard);

    rig.call([&] { rig.deck(0).play(); });
    rig.play(1000);
    rig.press(ctl::Mem1);  // playing: memory stops and goes to the cue point
    rig.up();
    EXPECT_FALSE(rig.deck(0).playing());
    EXPECT_NEAR(rig.deck(0).position(), heard, 0.001f);
    EXPECT_EQ(rig.deck(0).analysis()->cuePoint, heard);
}

TEST_F(DeskInput, TheWindowSystemMovesTheWindowWhereItCanElseTheDeskDragsIt) {
    DeskRig rig;
    set(settings().maximized, 0);
    rig.shell.offersSystemMove = true;
    rig.press(ctl::WindowDrag);
    EXPECT_FALSE(rig.shell.captured);  // the window system has the pointer now
    rig.move(300, 200);
    rig.up();
    EXPECT_EQ(rig.shell.systemMoves, 1);
    EXPECT_EQ(rig.shell.windowDrags, 0);

    rig.shell.offersSystemMove = false;
    rig.press(ctl::WindowDrag);
    EXPECT_TRUE(rig.shell.captured);
    rig.move(300, 200);
    rig.move(310, 210);
    rig.up();
    EXPECT_EQ(rig.shell.windowDrags, 2);
    EXPECT_FALSE(rig.shell.captured);

    // A window that covers the screen is not moved by either.
    set(settings().maximized, 1);
    rig.shell.offersSystemMove = true;
    rig.press(ctl::WindowDrag);
    rig.move(300, 200);
    rig.up();
    EXPECT_EQ(rig.shell.systemMoves, 2);
    EXPECT_EQ(rig.shell.windowDrags, 2);
}

TEST_F(DeskInput, TheCloseQuestionComesOnlyWhileMusicPlays) {
    DeskRig rig;
    rig.load(0);
    bool close = false;
    rig.call([&] { close = rig.desk.onCloseRequested(); });
    EXPECT_TRUE(close);
    EXPECT_TRUE(rig.shell.questions.empty());
    EXPECT_FALSE(rig.timers.running(DeskTimers::kDisplay));
    EXPECT_FALSE(rig.timers.running(DeskTimers::kHistory1));

    DeskRig playing;
    playing.load(1);
    playing.call([&] { playing.deck(1).play(); });
    playing.shell.answer = false;
    playing.call([&] { close = playing.desk.onCloseRequested(); });
    EXPECT_FALSE(close);
    EXPECT_EQ(playing.shell.questions, std::vector<std::string>{MixingDesk::kQuitQuestion});
    EXPECT_TRUE(playing.deck(1).playing());
    EXPECT_TRUE(playing.timers.running(DeskTimers::kDisplay));
    playing.shell.answer = true;
    playing.call([&] { close = playing.desk.onCloseRequested(); });
    EXPECT_TRUE(close);
}

TEST_F(DeskInput, BabySecureGuardsADeckThatPlaysOrWaitsToStart) {
    DeskRig rig;
    const TrackEntry other{"Other", "Track", "other.mp3", nullptr};
    bool loaded = false;
    const auto drop = [&] { rig.call([&] { loaded = rig.desk.dropOntoDeck(0, other); }); };

    set(settings().babySecure, 2);
    drop();  // an empty deck takes anything
    EXPECT_TRUE(loaded);
    drop();  // loaded, not yet started: busy
    EXPECT_FALSE(loaded);
    rig.call([&] { rig.deck(0).play(); });
    drop();
    EXPECT_FALSE(loaded);

    set(settings().babySecure, 1);
    rig.shell.answer = false;
    drop();
    EXPECT_FALSE(loaded);
    EXPECT_EQ(rig.shell.questions, std::vector<std::string>{MixingDesk::kReplaceQuestion});
    EXPECT_TRUE(rig.deck(0).playing());
    rig.shell.answer = true;
    drop();
    EXPECT_TRUE(loaded);

    set(settings().babySecure, 0);
    rig.call([&] { rig.deck(0).play(); });
    drop();
    EXPECT_TRUE(loaded);
    EXPECT_EQ(rig.shell.questions.size(), 2u);

    // Started once and paused: free again, whatever the setting.
    set(settings().babySecure, 2);
    rig.call([&] {
        rig.deck(0).play();
        rig.deck(0).pause();
    });
    drop();
    EXPECT_TRUE(loaded);
}

TEST_F(DeskInput, PanelsCarryTheMixButtonOptionsAndRecordStatus) {
    DeskRig rig(20, 20, 1);  // the soft mix, which records
    rig.call([&] { rig.desk.selectPanel(2); });
    EXPECT_TRUE(rig.view.logged("off 50"));
    rig.view.log.clear();
    rig.key(116);                                // F5: history
    EXPECT_TRUE(rig.view.logged("restore 50"));  // the mix button leaves the desk

    class Sink : public SampleSink {
        void write(const int16_t*, int32_t) override {}
        std::string describe() const override { return "Recording mix.wav"; }
    };
    rig.engine.output()->attachRecorder(std::make_unique<Sink>());
    rig.key(115);  // F4: record
    EXPECT_TRUE(rig.view.isOn(ctl::StartRecording));
    EXPECT_TRUE(rig.view.logged("record Recording mix.wav"));
    rig.engine.output()->requestStopRecording();
    rig.engine.runPass();
    rig.tick(100);
    EXPECT_EQ(rig.view.log.back(), "record ");  // the old status is cleared, once
    rig.tick(300);
    EXPECT_EQ(rig.view.count("record "), 1);

    rig.key(117);  // F6: options
    // The options the sound thread follows reach both decks at once.
    rig.press(ctl::OptMixLength);
    EXPECT_EQ(rig.decks[1].options().longMix(), 16);
    const bool masterTempo = rig.decks[0].options().masterTempo();
    rig.press(ctl::OptMasterTempo);
    EXPECT_NE(rig.decks[0].options().masterTempo(), masterTempo);
    EXPECT_EQ(rig.decks[1].options().masterTempo(), get(settings().masterTempo) != 0);
    rig.call([&] { rig.desk.mix().toggleAutoMix(); });
    EXPECT_EQ(rig.decks[0].options().autoMix(), get(settings().autoMix) != 0);
    EXPECT_TRUE(rig.decks[0].options().autoMix());
    for (int click = 0; click < 4; ++click) rig.press(ctl::OptMixLength);
    EXPECT_EQ(get(settings().longMix), 0);  // 16, 40, 64, 112 and back
    EXPECT_EQ(rig.decks[0].options().longMix(), 0);
    set(settings().babySecure, 2);
    rig.press(ctl::OptSecurity);
    EXPECT_EQ(get(settings().babySecure), 0);
    rig.press(ctl::OptAbout);
    EXPECT_EQ(rig.shell.dialogs, std::vector<int>{ctl::OptAbout});
    EXPECT_EQ(rig.view.count("options"), 9);  // drawn on showing and after every click
}

// The desk's own options sit below the specified lines, inside the files window and over
// none of them; a click on one steps its setting, elsewhere in the panel nothing happens.
TEST_F(DeskInput, TheDesksOwnOptionLinesSitBelowTheSpecifiedOnesAndStepTheirSettings) {
    DeskRig rig;
    const SkinControl& files = rig.skin.control(ctl::FilesWindow);
    std::vector<display::Rect> taken;
    for (const int32_t id : display::kOptionLines) {
        const SkinControl& c = rig.skin.control(id);
        taken.push_back({c.left, c.top, c.right, c.bottom});
    }
    for (int32_t k = 0; k < display::kExtraOptionCount; ++k) {
        const display::Rect box = display::extraOptionBox(rig.skin, k);
        ASSERT_FALSE(box.empty()) << k;
        EXPECT_GE(box.top, files.top);
        EXPECT_LE(box.bottom, files.bottom);
        for (const display::Rect& other : taken)
            EXPECT_TRUE(other.bottom <= box.top || box.bottom <= other.top ||
                        other.right <= box.left || box.right <= other.left)
                << k;
        taken.push_back(box);
    }
    const display::Rect notation = display::extraOptionBox(rig.skin, display::kKeyNotation);
    rig.key(117);  // F6: options
    rig.down(notation.left + 1, notation.bottom - 1);
    EXPECT_EQ(get(settings().keyNotation), 1);
    rig.down(notation.left + 1, notation.bottom - 1);
    rig.down(notation.left + 1, notation.bottom - 1);
    EXPECT_EQ(get(settings().keyNotation), 0);     // Open Key, names and back to Camelot
    rig.down(notation.left + 1, notation.bottom);  // the next line: track names
    EXPECT_EQ(get(settings().fileNameTitles), 1);
    EXPECT_EQ(get(settings().keyNotation), 0);
    EXPECT_EQ(rig.library.namingChanges, 4);  // the lists follow both
    const display::Rect next = display::extraOptionBox(rig.skin, display::kCompatibleFirst);
    rig.down(next.right - 1, next.top);
    EXPECT_EQ(get(settings().compatibleFirst), 1);
    const display::Rect controllers = display::extraOptionBox(rig.skin, display::kControllers);
    rig.down(controllers.left + 1, controllers.top + 1);
    EXPECT_EQ(rig.shell.dialogs, std::vector<int>{RecordingShell::kControllersDialog});
    const display::Rect quality = display::extraOptionBox(rig.skin, display::kMasterTempoQuality);
    rig.down(quality.left + 1, quality.top);
    EXPECT_EQ(get(settings().masterTempoQuality), 1);
    EXPECT_TRUE(rig.decks[1].options().highQuality());  // the decks follow at once
    rig.key(112);                                       // F1: files; the lines are gone
    rig.down(notation.left + 1, notation.bottom - 1);
    EXPECT_EQ(get(settings().keyNotation), 0);
    settings().resetToDefaults();
}

TEST_F(DeskInput, ARecordingThatFailsOrLosesFramesEndsWithItsReasonOnTheRecordPanel) {
    DeskRig rig(20, 20, 1);
    struct Sink : SampleSink {
        void write(const int16_t*, int32_t) override {}
        std::string describe() const override {
            return std::string(failedNow ? "Cannot write" : "Saving") + "\nFileName: mix.wav" +
                   (lost ? "\nLost: 1.0 s" : "");
        }
        bool failed() const override { return failedNow; }
        int64_t framesLost() const override { return lost; }
        std::atomic<bool> failedNow{false};
        std::atomic<int64_t> lost{0};
    };
    auto owned = std::make_unique<Sink>();
    Sink& sink = *owned;
    OutputDevice& out = *rig.engine.output();
    out.attachRecorder(std::move(owned));
    rig.key(115);  // F4: record
    EXPECT_TRUE(rig.view.isOn(ctl::StartRecording));

    // The file cannot be written: the desk ends the recording and says so, once.
    sink.failedNow = true;
    rig.view.log.clear();
    rig.tick(100);
    EXPECT_FALSE(rig.view.isOn(ctl::StartRecording));
    EXPECT_TRUE(rig.view.logged("record Cannot write\nFileName: mix.wav"));
    EXPECT_EQ(rig.desk.panels().recordEndMessage(), "Cannot write\nFileName: mix.wav");
    rig.engine.runPass();  // the sound thread lets it go
    rig.tick(300);
    EXPECT_FALSE(out.recording());
    EXPECT_EQ(rig.view.count("record Cannot write\nFileName: mix.wav"), 1);
    rig.view.log.clear();
    rig.key(116), rig.key(115);  // back on the record panel, the reason is still there
    EXPECT_TRUE(rig.view.logged("record Cannot write\nFileName: mix.wav"));

    // Stopped by the user after losing frames: the status stays, saying it stopped.
    auto second = std::make_unique<Sink>();
    second->lost = 44100;
    out.attachRecorder(std::move(second));
    rig.tick(100);
    out.requestStopRecording();
    rig.engine.runPass();
    rig.tick(100);
    EXPECT_EQ(rig.desk.panels().recordEndMessage(),
              "Recording stopped\nFileName: mix.wav\nLost: 1.0 s");
    EXPECT_EQ(rig.view.log.back(), "record Recording stopped\nFileName: mix.wav\nLost: 1.0 s");
}

TEST_F(DeskInput, TheRefreshShowsThePlayFaceOfTheNextAction) {
    DeskRig rig;
    rig.load(0);
    rig.tick(100);
    EXPECT_TRUE(rig.view.logged("off 6"));  // not playing: play1's face
    rig.press(ctl::Play1);
    EXPECT_TRUE(rig.shell.captured);
    rig.view.log.clear();
    rig.tick(100);
    EXPECT_TRUE(rig.view.logged("off 8"));  // playing: pause1's face, the press let go
    EXPECT_EQ(rig.desk.input().pressedButton(), -1);
    EXPECT_FALSE(rig.shell.captured);
    EXPECT_EQ(rig.view.info[0].status, kStatusNormal);
    EXPECT_EQ(rig.view.info[1].status, kStatusEmpty);
    rig.view.log.clear();
    rig.tick(100);
    EXPECT_FALSE(rig.view.logged("off 8"));
}

TEST_F(DeskInput, ASkinChangeTakesTheNewSkinsSliderArrangement) {
    DeskRig rig;
    EXPECT_EQ(rig.desk.faders().faderMode(), 1);  // one slider per deck, showing the volume
    SkinModel separate = rig.skin;
    separate.values.pitchLevel = false;
    rig.call([&] { rig.desk.applySkin(&separate); });
    EXPECT_EQ(rig.desk.faders().faderMode(), -1);
    rig.call([&] { rig.desk.applySkin(&rig.skin); });  // and back to a single slider
    EXPECT_EQ(rig.desk.faders().faderMode(), 0);
    EXPECT_TRUE(rig.view.isOn(ctl::Pitch1));
    EXPECT_TRUE(rig.view.isOn(ctl::MenuLevel1));
}

}  // namespace
}  // namespace spinlorex::test
