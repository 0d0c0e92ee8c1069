// The auto-mix: the mix button's decisions, the crossfader's path through a whole mix,
// its end with and without automatic mixing, what stops it, and the automatic start that
// the sound thread asks for.

#include "desk/DeskRig.h"

namespace spinlorex::test {
namespace {

using DeskMix = DeskTest;

TEST_F(DeskMix, MixButtonDecidesFromWhatPlaysAndTheCrossfader) {
    DeskRig rig;
    rig.load(0);
    rig.load(1);  // deck 2 selected
    rig.call([&] { rig.desk.mix().mixNow(); });
    EXPECT_TRUE(rig.deck(0).playing());  // nothing played: the other deck starts, no mix
    EXPECT_FALSE(rig.deck(1).playing());
    EXPECT_FALSE(rig.desk.mix().running());

    rig.call([&] { rig.desk.mix().mixNow(); });  // the selected deck comes in
    EXPECT_TRUE(rig.desk.mix().running());
    EXPECT_TRUE(rig.deck(1).playing());
    EXPECT_TRUE(rig.deck(0).mixedOut());
    EXPECT_EQ(rig.desk.faders().crossfader(), 0);
    rig.tick(400);
    rig.call([&] { rig.desk.mix().mixNow(); });  // pressed again: stops where it stands
    EXPECT_FALSE(rig.desk.mix().running());
    EXPECT_EQ(rig.desk.faders().crossfader(), 24);

    // Both play: towards the deck the crossfader hears less; the middle takes the selected.
    for (const auto& [fader, selected, wanted] :
         {std::tuple{100, 0, 0}, {300, 1, 384}, {192, 1, 0}, {192, 0, 384}}) {
        rig.call([&, fader = fader, selected = selected] {
            rig.desk.mix().stopMix();
            rig.desk.panels().selectDeck(selected);
            rig.desk.faders().setCrossfader(fader);
            rig.desk.mix().mixNow();
        });
        EXPECT_TRUE(rig.desk.mix().running());
        EXPECT_EQ(rig.desk.faders().crossfader(), wanted) << fader << " " << selected;
    }
}

TEST_F(DeskMix, MixButtonWithNothingPlayingCuesAnEndedDeckOrTakesThePlaylist) {
    DeskRig rig;
    rig.library.playlist.push_back({"A", "From the playlist", "next.mp3", nullptr});
    rig.call([&] { rig.desk.mix().mixNow(); });
    EXPECT_EQ(rig.view.titles[1], "A/From the playlist");  // the other deck of deck 1
    EXPECT_TRUE(rig.deck(1).playing());

    rig.call([&] {
        rig.deck(1).finish();
        rig.desk.panels().selectDeck(1);
        rig.desk.mix().mixNow();
    });
    EXPECT_TRUE(rig.deck(1).playing());  // ended but open: back into the track, and play
    EXPECT_GE(rig.deck(1).position(), 0.0f);
}

TEST_F(DeskMix, AMixRampsHoldsAndRampsInThirtyTwoPlusLongMixTicks) {
    set(settings().longMix, 16);
    set(settings().autoBpm, 0);
    set(settings().autoZPitch, 1);
    DeskRig rig;
    rig.load(0);
    rig.load(1);
    rig.call([&] {
        rig.desk.setDeckPitch(1, 4200);
        rig.deck(0).play();
        rig.desk.mix().mixNow();  // deck 2 selected and cued: it comes in
    });
    EXPECT_EQ(rig.desk.faders().crossfader(), 0);
    std::vector<int32_t> path, wanted;
    for (int step = 1; step <= 16; ++step) wanted.push_back(12 * step);
    wanted.insert(wanted.end(), 16, 192);
    for (int step = 17; step <= 32; ++step) wanted.push_back(12 * step);
    for (int tick = 1; tick <= 48; ++tick) {
        EXPECT_TRUE(rig.desk.mix().running()) << tick;
        rig.tick(200);
        path.push_back(rig.desk.faders().crossfader());
        // From the middle on, the keys act on the outgoing deck.
        if (tick == 15 || tick == 16) {
            EXPECT_EQ(rig.desk.selectedDeck(), tick == 15 ? 1 : 0);
        }
    }
    EXPECT_EQ(path, wanted);
    EXPECT_FALSE(rig.desk.mix().running());
    EXPECT_FALSE(rig.timers.running(DeskTimers::kMixStep));
    EXPECT_TRUE(rig.deck(0).playing());  // automatic mixing off: faded out, still playing
    EXPECT_TRUE(
        rig.desk.faders().pitchResetRunning(1));  // AutoZPitch glides the incoming deck home
}

TEST_F(DeskMix, AMixStartsTheIncomingDeckAtTheOutgoingDecksTempo) {
    DeskRig rig;
    rig.load(0, 128.0f);
    rig.load(1, 100.0f);
    rig.call([&] {
        rig.desk.setDeckPitch(1, 4096);
        rig.deck(0).play();
        rig.desk.mix().startMix(1);
    });
    EXPECT_EQ(rig.deck(1).pitch(), 5242);
    set(settings().autoBpm, 0);
    rig.call([&] {
        rig.desk.setDeckPitch(1, 4096);
        rig.desk.mix().startMix(1);
    });
    EXPECT_EQ(rig.deck(1).pitch(), 4096);
}

TEST_F(DeskMix, WithAutomaticMixingTheOutgoingDeckIsRefilledOrStoppedAtTheEnd) {
    set(settings().autoMix, 1);
    DeskRig rig;
    rig.load(0);
    rig.load(1);
    rig.library.playlist.push_back({"Next", "Song", "next.mp3", nullptr});
    rig.call([&] {
        rig.deck(0).play();
        rig.desk.mix().mixNow();
    });
    rig.tick(32 * 200);
    EXPECT_FALSE(rig.desk.mix().running());
    EXPECT_EQ(rig.view.titles[0], "Next/Song");  // refilled, cued, no longer mixed out
    EXPECT_FALSE(rig.deck(0).playing());
    EXPECT_FALSE(rig.deck(0).mixedOut());

    rig.call([&] { rig.desk.mix().mixNow(); });  // and back, with the playlist empty now
    rig.tick(32 * 200);
    EXPECT_TRUE(rig.deck(0).playing());
    EXPECT_FALSE(rig.deck(1).playing());
    EXPECT_LT(rig.deck(1).position(), 0.0f);  // finished
}

TEST_F(DeskMix, PlayPauseStopDiscCrossfaderLoadAndTheMixButtonEachStopAMix) {
    DeskRig rig;
    rig.load(0);
    rig.load(1);
    rig.call([&] {
        rig.desk.selectPanel(2);  // the mix button is on the desk
        rig.deck(0).play();
    });
    const SkinControl& knob = rig.skin.control(ctl::Crossfader);
    const std::vector<std::pair<const char*, std::function<void()>>> actions = {
        {"play", [&] { rig.press(ctl::Play1), rig.up(); }},
        {"pause", [&] { rig.press(ctl::Pause2), rig.up(); }},
        {"stop", [&] { rig.press(ctl::Stop1), rig.up(); }},
        {"disc", [&] { rig.down(710, 260), rig.up(); }},
        {"crossfader", [&] { rig.down(knob.hitLeft + 5, knob.hitTop + 5), rig.up(); }},
        {"load", [&] { rig.load(0); }},
        {"mix button", [&] { rig.press(ctl::Mix); }},
        {"", [] {}},  // the memory button, below
    };
    for (const auto& [name, action] : actions) {
        rig.call([&] { rig.desk.mix().startMix(1); });
        ASSERT_TRUE(rig.desk.mix().running()) << name;
        EXPECT_TRUE(rig.view.isOn(ctl::Mix)) << name;
        rig.tick(400);
        const int32_t fader = rig.desk.faders().crossfader();
        if (std::string(name).empty()) {
            rig.press(ctl::Mem2);  // a cue stored during a mix: the mix goes on
            rig.up();
            EXPECT_TRUE(rig.desk.mix().running());
            rig.call([&] { rig.desk.mix().stopMix(); });
            continue;
        }
        action();
        EXPECT_FALSE(rig.desk.mix().running()) << name;
        EXPECT_FALSE(rig.timers.running(DeskTimers::kMixStep)) << name;
        EXPECT_FALSE(rig.view.isOn(ctl::Mix)) << name;
        if (std::string(name) == "mix button") {
            EXPECT_EQ(rig.desk.faders().crossfader(), fader);
        }
    }
}

TEST_F(DeskMix, TheSoundThreadStartsAMixOnceAndTheTrackEndRefillsTheDeck) {
    set(settings().autoMix, 1);
    DeskRig rig(200);
    rig.load(0);
    rig.load(1);
    rig.deck(0).analysis()->lastStrongBeat = 0.9f;
    rig.call([&] { rig.deck(0).seekAndPlay(0.85f); });
    // A mix takes 6.4 s of 200: the last strong beat at 0.9 waits until 0.868.
    rig.play(1000);
    EXPECT_EQ(rig.deliverMessages(), 0);
    rig.play(4000);
    EXPECT_GT(rig.deliverMessages(), 0);
    EXPECT_TRUE(rig.desk.mix().running());
    EXPECT_TRUE(rig.deck(1).playing());
    EXPECT_TRUE(rig.deck(0).mixedOut());
    rig.tick(200);
    EXPECT_EQ(rig.desk.faders().crossfader(), 12);
    rig.messages.post(kMessageStartDeck, 1);  // a repeat still queued: the mix goes on
    rig.deliverMessages();
    EXPECT_EQ(rig.desk.faders().crossfader(), 12);

    rig.library.playlist.push_back({"Next", "Song", "next.mp3", nullptr});
    rig.call([&] { rig.desk.onMessage(kMessageTrackEnded, 0); });
    EXPECT_EQ(rig.view.titles[0], "Next/Song");
    set(settings().autoMix, 0);
    rig.library.playlist.push_back({"Other", "Song", "other.mp3", nullptr});
    rig.call([&] { rig.desk.onMessage(kMessageTrackEnded, 0); });
    EXPECT_EQ(rig.library.playlist.size(), 1u);
}

TEST_F(DeskMix, TheAutomaticMixingSwitchFillsEmptyDecksFromThePlaylist) {
    DeskRig rig;
    rig.call([&] { rig.desk.selectPanel(2); });
    rig.library.playlist = {{"A", "1", "a.mp3", nullptr}, {"B", "2", "b.mp3", nullptr}};
    rig.press(ctl::AutoMixSwitch);
    EXPECT_EQ(get(settings().autoMix), 1);
    EXPECT_TRUE(rig.view.isOn(ctl::AutoMixSwitch));
    EXPECT_EQ(rig.view.titles[0], "A/1");
    EXPECT_EQ(rig.view.titles[1], "B/2");
    rig.press(ctl::AutoMixSwitch);
    EXPECT_EQ(get(settings().autoMix), 0);
    EXPECT_FALSE(rig.view.isOn(ctl::AutoMixSwitch));
}

}  // namespace
}  // namespace spinlorex::test
