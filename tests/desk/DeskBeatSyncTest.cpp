// Beat sync on generated dance tracks whose kicks fall on a known grid: where each deck's
// beats are heard follows from its position, so every correction is checked by where the
// beats land, with the two decks at different pitches.

#include <cmath>

#include "desk/DeskRig.h"
#include "support/PcmReader.h"

namespace spinlorex::test {
namespace {

// Deck 1 plays a 120 BPM track and deck 2 a 96 BPM one; at pitch 5120 (x 1.25) deck 2
// runs at 120 BPM too, so their beats can meet. Both loaded with their tempos known.
class BeatRig : public DeskRig {
public:
    explicit BeatRig(double bpm1 = 120, double bpm2 = 96)
        : BeatRig(std::array<BeatTrack, 2>{BeatTrack(bpm1, 30.0, 1), BeatTrack(bpm2, 30.0, 2)}) {}

    // How much later deck d's beats are heard than deck 1-d's, in 36-frame steps of heard
    // time: -half a beat .. half a beat.
    double offBeat(int d) {
        double diff = tracks[1 - d].beatPhaseAt(deck(1 - d).position()) -
                      tracks[d].beatPhaseAt(deck(d).position());
        diff -= std::round(diff);
        return diff * tracks[d].framesPerBeat() * 4096.0 / deck(d).pitch() / 36.0;
    }
    // The heard source frame of deck d.
    double frame(int d) { return deck(d).position() * static_cast<double>(tracks[d].frames()); }
    // Both decks playing, deck 2 at 120 BPM and `beats` of a beat after deck 1.
    void playBothOffBeat(double beats) {
        call([&] {
            desk.setDeckPitch(1, 5120);
            deck(0).play();
        });
        play(static_cast<int>(std::lround(2000 + beats * 500)));
        call([&] { deck(1).play(); });
        play(2000);
    }

    std::array<BeatTrack, 2> tracks;

private:
    explicit BeatRig(std::array<BeatTrack, 2> t)
        : DeskRig(t[0].readers(), t[1].readers()), tracks(std::move(t)) {
        load(0, static_cast<float>(tracks[0].bpm));
        load(1, static_cast<float>(tracks[1].bpm));
    }
};

// A shift while a deck plays is heard from the next pass on.
constexpr int kSettle = 20;

class DeskBeatSync : public DeskTest {
protected:
    void SetUp() override {
        DeskTest::SetUp();
        set(settings().autoBpm, 0);  // the tests set the pitches themselves
    }
};

TEST_F(DeskBeatSync, SyncBeatBringsEitherDecksBeatOntoTheOthersAtDifferentPitches) {
    BeatRig rig;
    rig.addSyncButtons();
    rig.playBothOffBeat(0.4);
    EXPECT_NEAR(std::abs(rig.offBeat(1)), 0.4 * 612, 3);

    const double deck1 = rig.frame(0);
    rig.press(ctl::SyncBeat2);
    rig.up();
    rig.play(kSettle);
    EXPECT_NEAR(rig.offBeat(1), 0.0, 2.0);
    EXPECT_NEAR(rig.frame(0) - deck1, 882, 2);  // deck 2 moved, deck 1 played on

    // Deck 1, at normal pitch, sent 0.3 beat off and brought back against the faster deck 2.
    rig.call([&] { rig.deck(0).shift(static_cast<int32_t>(0.3 * 22050)); });
    rig.play(kSettle);
    EXPECT_NEAR(std::abs(rig.offBeat(0)), 0.3 * 612, 3);
    rig.call([&] { rig.desk.panels().selectDeck(0); });
    EXPECT_TRUE(rig.key(13));  // ENTER
    rig.play(kSettle);
    EXPECT_NEAR(rig.offBeat(0), 0.0, 2.0);
}

TEST_F(DeskBeatSync, MagicSyncStartsAPausedDeckMatchedAndOnTheBeat) {
    BeatRig rig;
    rig.playBothOffBeat(0.4);
    rig.call([&] {
        rig.desk.setDeckPitch(1, 4096);
        rig.deck(1).pause();
    });
    rig.play(300);
    rig.requestMs = 10;  // the deck must be aligned once it runs, not before
    rig.press(ctl::Go2);
    rig.up();
    EXPECT_TRUE(rig.deck(1).playing());
    EXPECT_NEAR(rig.deck(1).pitch(), 5120, 4);  // as far as the analysed tempi agree
    rig.play(kSettle);
    EXPECT_NEAR(rig.offBeat(1), 0.0, 2.0);
}

TEST_F(DeskBeatSync, SkipBeatJumpsWholeBeatsSoTheBeatStaysWhereItWas) {
    BeatRig rig;
    rig.playBothOffBeat(0.25);
    rig.call([&] { rig.desk.panels().selectDeck(1); });
    const double off = rig.offBeat(1);
    const double before = rig.frame(1);
    EXPECT_TRUE(rig.key('N'));
    rig.play(kSettle);
    // 96 BPM: 765 steps of 36 frames, heard in 0.8 of that time at pitch 5120.
    EXPECT_NEAR(rig.frame(1) - before, 765 * 36 + 882 * 1.25, 40);
    EXPECT_NEAR(rig.offBeat(1), off, 1.0);
}

// The auto-mix keeps the beats together: a hard sync of the incoming deck on the first
// step, then small corrections of the incoming deck while the crossfader ramps in, and
// of the outgoing deck from the middle on; a correction of 153 steps or more is left.
TEST_F(DeskBeatSync, TheMixKeepsTheBeatsWithSmallCorrectionsOfTheRightDeck) {
    set(settings().longMix, 16);
    BeatRig rig;
    rig.playBothOffBeat(0.3);
    rig.call([&] {
        rig.deck(1).pause();
        rig.desk.mix().startMix(1);
    });
    rig.tick(200);
    rig.play(kSettle);
    EXPECT_NEAR(rig.offBeat(1), 0.0, 2.0);

    // One step's correction of the deck it names, the other deck playing on undisturbed.
    const auto step = [&](int moved, int mixStep) {
        const double still = rig.frame(1 - moved);
        rig.tick(200);
        EXPECT_EQ(rig.desk.mix().step(), mixStep);
        rig.play(kSettle);
        const double pitch = rig.deck(1 - moved).pitch() / 4096.0;
        EXPECT_NEAR(rig.frame(1 - moved) - still, 882 * pitch, 2) << mixStep;
    };
    // Deck 2 (the faster, incoming) 100 steps late: moved back into place. Its own steps
    // would overshoot by a quarter; the other deck's, converted, are the smaller.
    rig.call([&] { rig.deck(1).shift(-3600); });
    rig.play(kSettle);
    EXPECT_NEAR(rig.offBeat(1), 100, 2);
    step(1, 2);
    EXPECT_NEAR(rig.offBeat(1), 0.0, 2.0);

    // 200 steps off is too far for a correction during a mix.
    rig.call([&] { rig.deck(1).shift(-7200); });
    rig.play(kSettle);
    rig.tick(200);
    rig.play(kSettle);
    EXPECT_NEAR(rig.offBeat(1), 200, 2);
    EXPECT_EQ(rig.desk.sync().lastBeatShift(), 0);
    rig.call([&] { rig.deck(1).shift(7200); });

    // From the middle on, the outgoing deck 1 follows.
    rig.tick(13 * 200);
    ASSERT_EQ(rig.desk.mix().step(), 16);
    rig.call([&] { rig.deck(0).shift(-2160); });  // deck 1 60 steps late
    rig.play(kSettle);
    EXPECT_NEAR(rig.offBeat(0), 60, 2);
    step(0, 42);
    EXPECT_NEAR(rig.offBeat(0), 0.0, 2.0);
}

}  // namespace
}  // namespace spinlorex::test
