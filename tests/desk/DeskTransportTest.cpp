// Transport on the desk: pitch steps, the reset glide, the pitch range, beat skips,
// loading with its history timer, and the keyboard table.

#include <functional>

#include "audio/OutputDevice.h"
#include "desk/DeskRig.h"

#include "audio/Crossfader.h"
#include "audio/HardMixOutput.h"

namespace spinlorex::test {
namespace {

using DeskTransport = DeskTest;

constexpr int kPageUp = 33, kUp = 38, kDown = 40, kTab = 9, kSpace = 32, kEnter = 13, kEscape = 27;
constexpr int kLeft = 37, kRight = 39, kDelete = 46;
constexpr int kF3 = 114, kF6 = 117, kF7 = 118;

TEST_F(DeskTransport, PitchResetGlidesBackAndSnapsWithItsLampOff) {
    DeskRig rig;
    rig.load(0);
    rig.call([&] {
        rig.desk.faders().setFaderMode(0);  // the reset buttons live with the pitch sliders
        rig.desk.setDeckPitch(0, 4300);
    });
    rig.press(ctl::ResetPitch1);
    EXPECT_TRUE(rig.view.isOn(ctl::ResetPitch1));
    EXPECT_EQ(rig.timers.period(DeskTimers::kPitchReset1), 500);
    rig.tick(12 * 500);
    EXPECT_EQ(rig.deck(0).pitch(), 4108);
    EXPECT_TRUE(rig.desk.faders().pitchResetRunning(0));
    rig.tick(500);
    EXPECT_EQ(rig.deck(0).pitch(), 4096);
    EXPECT_FALSE(rig.desk.faders().pitchResetRunning(0));
    EXPECT_FALSE(rig.timers.running(DeskTimers::kPitchReset1));
    EXPECT_FALSE(rig.view.isOn(ctl::ResetPitch1));

    // Pressed twice: normal speed at once.
    rig.call([&] { rig.desk.setDeckPitch(0, 3000); });
    rig.press(ctl::ResetPitch1);
    rig.press(ctl::ResetPitch1);
    EXPECT_EQ(rig.deck(0).pitch(), 4096);
    EXPECT_FALSE(rig.timers.running(DeskTimers::kPitchReset1));

    // The snap takes 4080..4112 and no more on either side.
    for (const auto& [from, to] : {std::pair{4112, 4096}, {4113, 4097}, {4079, 4095}}) {
        rig.call([&, from = from] {
            rig.desk.setDeckPitch(0, from);
            rig.desk.faders().pitchResetTick(0);
        });
        EXPECT_EQ(rig.deck(0).pitch(), to) << from;
    }

    // A load and a pitch match each end the glide where it stands.
    rig.load(1, 64.0f);
    for (const auto& [name, stop] : std::vector<std::pair<const char*, std::function<void()>>>{
             {"load", [&] { rig.load(0); }},
             {"sync pitch", [&] { rig.call([&] { rig.desk.sync().syncPitch(0); }); }}}) {
        rig.call([&] { rig.desk.setDeckPitch(0, 4600); });
        rig.press(ctl::ResetPitch1);
        rig.tick(500);
        stop();
        EXPECT_FALSE(rig.desk.faders().pitchResetRunning(0)) << name;
        EXPECT_FALSE(rig.timers.running(DeskTimers::kPitchReset1)) << name;
        EXPECT_FALSE(rig.view.isOn(ctl::ResetPitch1)) << name;
        const int32_t pitch = rig.deck(0).pitch();
        rig.tick(2000);
        EXPECT_EQ(rig.deck(0).pitch(), pitch) << name;
    }
}

// The deck shows its track's key; with master tempo off the pitch moves it (+6 %: a
// semitone), with it on the key stays.
TEST_F(DeskTransport, TheDeckShowsTheKeyItSoundsIn) {
    set(settings().masterTempo, 0);
    DeskRig rig;
    auto keyShown = [&] { return std::string(rig.desk.deckInfo(0).key.data()); };
    EXPECT_EQ(keyShown(), "");
    rig.load(0);
    EXPECT_EQ(keyShown(), "");  // no key known
    auto grid = std::make_shared<BeatGrid>();
    grid->key = codeOfKey(*parseKey("Am"));
    rig.deck(0).track()->record->grid = grid;
    EXPECT_EQ(keyShown(), "8A");
    rig.call([&] { rig.desk.setDeckPitch(0, 4096 * 106 / 100); });
    EXPECT_EQ(keyShown(), "3A");  // B flat minor
    set(settings().keyNotation, 2);
    EXPECT_EQ(keyShown(), "Bb minor");
    rig.call([&] { rig.desk.setDeckPitch(0, 4096 * 94 / 100); });
    EXPECT_EQ(keyShown(), "G# minor");
    rig.key(kF6);
    rig.press(ctl::OptMasterTempo);
    ASSERT_TRUE(rig.deck(0).options().masterTempo());
    EXPECT_EQ(keyShown(), "A minor");
}

TEST_F(DeskTransport, PitchKeysStepAndClampInTheNarrowRangeAndTheRangeToggleReclamps) {
    set(settings().limitPitch, 1);
    {
        DeskRig rig;
        rig.load(0);
        EXPECT_EQ(rig.desk.faders().pitchSlider(0), 128);  // 4096 sits in the middle of +-8 %
        EXPECT_TRUE(rig.key(kPageUp));
        EXPECT_EQ(rig.deck(0).pitch(), 3790);
        rig.key(kPageUp);
        EXPECT_EQ(rig.deck(0).pitch(), 3768);
        EXPECT_EQ(rig.desk.faders().pitchSlider(0), 0);
        rig.key(kDown);
        EXPECT_EQ(rig.deck(0).pitch(), 3776);
        rig.key(kUp);
        EXPECT_EQ(rig.deck(0).pitch(), 3768);
    }

    set(settings().limitPitch, 0);
    DeskRig rig;
    rig.load(0);
    rig.load(1, 0.0f);
    rig.call([&] {
        rig.desk.setDeckPitch(0, 5000);
        rig.desk.setDeckPitch(1, 3000);
        rig.desk.selectPanel(5);
    });
    rig.view.log.clear();
    rig.press(ctl::OptPitchRange);
    EXPECT_EQ(get(settings().limitPitch), 1);
    EXPECT_EQ(rig.deck(0).pitch(), 4424);
    EXPECT_EQ(rig.deck(1).pitch(), 3768);
    EXPECT_TRUE(rig.view.logged("options"));
}

TEST_F(DeskTransport, SkipBeatMovesOneBeatOfFramesOnlyWithBothDecksLoaded) {
    DeskRig rig;
    rig.load(0);
    rig.call([&] { rig.desk.panels().selectDeck(0); });
    for (int i = 0; i < 40; ++i) rig.engine.runPass();  // render well ahead of the heard point
    const double frames = 20.0 * 44100;
    const float before = rig.deck(0).position();
    rig.key('N');
    EXPECT_EQ(rig.deck(0).position(), before);  // deck 2 is empty

    rig.load(1);
    rig.call([&] { rig.desk.panels().selectDeck(0); });
    rig.key('N');
    EXPECT_NEAR((rig.deck(0).position() - before) * frames, 574.0 * 36, 1.0);  // 128 BPM

    // A track of no known tempo skips a beat of 120 BPM.
    rig.deck(0).track()->record->bpm = 0.0f;
    const float second = rig.deck(0).position();
    rig.key('N');
    EXPECT_NEAR((rig.deck(0).position() - second) * frames, 612.0 * 36, 1.0);
    rig.deck(0).track()->record->bpm = 999.0f;  // the fastest tempo still taken as it is
    const float third = rig.deck(0).position();
    rig.key('N');
    EXPECT_NEAR((rig.deck(0).position() - third) * frames, 73.0 * 36, 1.0);
}

TEST_F(DeskTransport, LoadingTitlesSelectsAndEntersTheHistoryFortySecondsAfterTheLastLoad) {
    DeskRig rig;
    rig.load(1);
    EXPECT_EQ(rig.view.titles[1], "Artist/Title");
    EXPECT_EQ(rig.desk.selectedDeck(), 1);
    EXPECT_TRUE(rig.view.isOn(ctl::Platine2));
    EXPECT_FALSE(rig.view.isOn(ctl::Platine1));
    EXPECT_EQ(rig.engine.output()->selectedDeck(), 1);  // a pre-listen follows the selection
    EXPECT_TRUE(rig.view.logged("cue 1"));
    rig.key(kTab);
    EXPECT_EQ(rig.engine.output()->selectedDeck(), 0);

    rig.tick(20000);
    rig.load(1);  // replaced within 40 s: the first never enters the history
    rig.tick(39999);
    EXPECT_TRUE(rig.library.history.empty());
    rig.tick(1);
    EXPECT_EQ(rig.library.history, std::vector<int>{1});
    rig.tick(80000);
    EXPECT_EQ(rig.library.history.size(), 1u);
}

TEST_F(DeskTransport, PlayButtonTogglesWhileSpaceOnlyStarts) {
    DeskRig rig;
    rig.load(0);
    rig.press(ctl::Play1);
    rig.up();
    EXPECT_TRUE(rig.deck(0).playing());
    rig.key(kSpace);
    EXPECT_TRUE(rig.deck(0).playing());
    rig.press(ctl::Play1);
    rig.up();
    EXPECT_FALSE(rig.deck(0).playing());
    rig.key(kEscape);  // magic sync starts the deck
    EXPECT_TRUE(rig.deck(0).playing());
    rig.key('P');
    EXPECT_FALSE(rig.deck(0).playing());
    EXPECT_TRUE(rig.key(kTab));
    EXPECT_EQ(rig.desk.selectedDeck(), 1);
}

// With headphones on one card (left the mix, right the pre-listen), TAB, the deck buttons
// and a load move the pre-listen to the selected deck at its own level.
TEST_F(DeskTransport, TheSelectedDeckIsTheOneInTheHeadphones) {
    DeskRig rig(20, 20, /*outputMode=*/7);
    auto* output = dynamic_cast<HardMixOutput*>(rig.engine.output());
    ASSERT_NE(output, nullptr);
    const auto preListened = [&](int d) {
        return output->volumeOf(Feed::PreListen, d) > sound::kMinVolume;
    };
    rig.call([&] { rig.desk.setDeckLevel(1, 128); });
    EXPECT_TRUE(preListened(0));
    EXPECT_FALSE(preListened(1));
    rig.key(kTab);
    EXPECT_FALSE(preListened(0));
    EXPECT_TRUE(preListened(1));
    EXPECT_EQ(output->volumeOf(Feed::PreListen, 1), toHundredthsDb(128 * 256));
    rig.press(ctl::Platine1);
    rig.up();
    EXPECT_TRUE(preListened(0));
    rig.load(1);
    EXPECT_TRUE(preListened(1));
}

TEST_F(DeskTransport, CueKeysStoreLoopAndStopAndTheArrowsNudgeByThePitch) {
    DeskRig rig;
    rig.load(0);
    rig.load(1);
    const double frames = 20.0 * 44100;
    rig.call([&] {
        rig.desk.panels().selectDeck(0);
        rig.deck(0).play();
    });
    rig.play(2000);
    rig.view.log.clear();
    EXPECT_TRUE(rig.key('M'));
    const float cue = rig.deck(0).analysis()->cuePoint;
    EXPECT_NEAR(cue, 2.0f / 20, 0.002f);
    EXPECT_TRUE(rig.view.logged("cue 0"));  // the disc's mark moves to it

    rig.play(1000);
    EXPECT_TRUE(rig.key('L'));  // the loop: back to the cue, playing on
    EXPECT_NEAR(rig.deck(0).position(), cue, 0.001f);
    EXPECT_TRUE(rig.deck(0).playing());
    rig.play(1000);
    EXPECT_TRUE(rig.key('S'));  // stop: paused at the cue
    EXPECT_NEAR(rig.deck(0).position(), cue, 0.001f);
    EXPECT_FALSE(rig.deck(0).playing());

    // LEFT moves later into the track, RIGHT earlier, by 256 frames scaled by the pitch,
    // here output frames of 1.25 source frames each.
    rig.call([&] { rig.desk.setDeckPitch(0, 5120); });
    rig.call([&] { rig.deck(0).play(); });
    rig.play(2000);
    rig.call([&] { rig.deck(0).pause(); });
    const float before = rig.deck(0).position();
    EXPECT_TRUE(rig.key(kLeft));
    EXPECT_NEAR((rig.deck(0).position() - before) * frames, 400, 2);
    EXPECT_TRUE(rig.key(kRight));
    EXPECT_TRUE(rig.key(kRight));
    EXPECT_NEAR((rig.deck(0).position() - before) * frames, -400, 2);

    EXPECT_TRUE(rig.key(kDelete));
    EXPECT_EQ(rig.library.deleteKeys, 1);
}

TEST_F(DeskTransport, KeysFollowTheSearchFieldRules) {
    DeskRig rig;
    EXPECT_TRUE(rig.key('Q'));          // no shortcut, swallowed
    EXPECT_TRUE(rig.key(0x100 | 'Q'));  // only the low byte counts
    EXPECT_TRUE(rig.key('5'));          // a hot cue
    EXPECT_FALSE(rig.key('9'));
    EXPECT_FALSE(rig.key(kF7));

    rig.desk.input().setSearchEditActive(true);
    EXPECT_FALSE(rig.key('Q'));  // typed into the field
    EXPECT_FALSE(rig.key(kSpace));
    EXPECT_TRUE(rig.key(kF3));
    EXPECT_EQ(rig.desk.panels().currentPanel(), 2);
    EXPECT_FALSE(rig.key(kF7));
    EXPECT_FALSE(rig.key(kEnter));  // not the search panel: the field's own Enter
    EXPECT_EQ(rig.library.searches, 0);
    rig.key(kF3 - 1);
    EXPECT_TRUE(rig.key(kEnter));
    EXPECT_EQ(rig.library.searches, 1);
    EXPECT_TRUE(rig.key(kEscape));
    EXPECT_FALSE(rig.desk.input().searchEditActive());
    EXPECT_TRUE(rig.key('Q'));
}

}  // namespace
}  // namespace spinlorex::test
