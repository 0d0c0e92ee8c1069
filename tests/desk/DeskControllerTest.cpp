// A controller's messages on the real desk: through the mapping engine to the functions
// the keys and mouse call, and the lamps read back from the desk.

#include <atomic>
#include <memory>
#include <string>
#include <vector>

#include "audio/Crossfader.h"
#include "desk/DeskControllerActions.h"
#include "desk/DeskRig.h"

namespace spinlorex::test {
namespace {

using DeskController = DeskTest;
using midi::MidiMessage;

constexpr const char* kMapping = R"(name Test
bind decks play             note 1 0x01
bind decks cue              note 1 0x02
bind decks select           note 1 0x09
bind decks pitch-bend-up    note 1 0x08
bind decks pitch-bend-down  note 1 0x07
bind decks jog-touch        note 1 0x0C
bind decks hotcue 2         note 1 0x11
bind decks volume           cc 1 0x07
bind decks pitch            cc 1 0x0D
bind decks jog              cc 1 0x0E twos
bind desk crossfader        cc 1 0x40
bind desk panel 3           note 1 0x4A
bind decks load             note 1 0x0A
bind decks effect           note 1 0x0B
bind desk browse            cc 1 0x41 twos
bind desk browse-press      note 1 0x41
)";

struct FakeJog : JogTarget {
    std::vector<std::string> calls;
    void touch(int deck, bool on) override {
        calls.push_back("touch " + std::to_string(deck) + (on ? " on" : " off"));
    }
    void turn(int deck, double turns) override {
        calls.push_back("turn " + std::to_string(deck) + " " + std::to_string(turns).substr(0, 5));
    }
};

struct Controller {
    explicit Controller(DeskRig& r)
        : rig(r),
          actions(r.desk, r.decks, &jog),
          engine(midi::parseMapping(kMapping).mapping, actions) {}
    void send(uint8_t status, uint8_t a, uint8_t b) {
        const uint8_t bytes[] = {status, a, b};
        rig.call([&] { engine.handle(MidiMessage::fromBytes(bytes, 3)); });
    }
    DeskRig& rig;
    FakeJog jog;
    DeskControllerActions actions;
    midi::MappingEngine engine;
};

TEST_F(DeskController, ButtonsDriveTheDecksTheyAreBoundToAndTheLampsFollow) {
    DeskRig rig;
    rig.load(0);
    rig.load(1);
    Controller c(rig);
    c.send(0x91, 0x01, 0x7F);  // deck 2's play, on channel 2
    c.send(0x81, 0x01, 0x00);
    EXPECT_TRUE(rig.deck(1).playing());
    EXPECT_FALSE(rig.deck(0).playing());
    auto lights = c.actions.lights();
    EXPECT_TRUE(lights[1].play);
    EXPECT_FALSE(lights[1].cue);
    EXPECT_TRUE(lights[0].cue);       // holds a track and waits
    EXPECT_TRUE(lights[1].selected);  // the last one loaded

    c.send(0x90, 0x09, 0x7F);
    EXPECT_EQ(rig.desk.panels().selectedDeck(), 0);
    EXPECT_TRUE(c.actions.lights()[0].selected);
    EXPECT_FALSE(c.actions.lights()[1].selected);

    c.send(0x91, 0x01, 0x7F);  // pressed again: paused
    EXPECT_FALSE(rig.deck(1).playing());
    EXPECT_FALSE(c.actions.lights()[1].play);

    c.send(0x90, 0x4A, 0x7F);
    EXPECT_EQ(rig.desk.panels().currentPanel(), 2);
    c.send(0x90, 0x11, 0x7F);  // hot cue 2 set on deck 1
    EXPECT_TRUE(rig.desk.hotCues().cues(0).cues[1].set());
}

// The library's buttons reach the library with their deck and the encoder's direction; the
// effect button switches the deck's effect off (not run, kept) and on again.
TEST_F(DeskController, LoadBrowseAndTheEffectButton) {
    DeskRig rig;
    rig.load(0);
    Controller c(rig);
    c.send(0xB0, 0x41, 0x7E);  // two detents up
    c.send(0xB0, 0x41, 0x01);
    c.send(0x90, 0x41, 0x7F);
    c.send(0x91, 0x0A, 0x7F);  // deck 2's load
    EXPECT_EQ(rig.library.browsed, (std::vector<int>{-2, 1}));
    EXPECT_EQ(rig.library.browsePresses, 1);
    EXPECT_EQ(rig.library.loadedRowOnto, std::vector<int>{1});

    struct Counting : DspHook {
        std::atomic<int>* calls;
        int32_t modifySamples(int16_t*, int32_t frames) override {
            ++*calls;
            return frames;
        }
    };
    std::atomic<int> calls{0};
    auto effect = std::make_unique<Counting>();
    effect->calls = &calls;
    rig.call([&] { rig.deck(0).setDspPlugin(std::move(effect)); });
    rig.call([&] { rig.deck(0).play(); });
    rig.play(200);
    EXPECT_GT(calls.load(), 0);
    c.send(0x90, 0x0B, 0x7F);
    EXPECT_FALSE(rig.deck(0).effectOn());
    const int whileOn = calls.load();
    rig.play(500);
    EXPECT_EQ(calls.load(), whileOn);
    c.send(0x90, 0x0B, 0x7F);
    EXPECT_TRUE(rig.deck(0).effectOn());
    rig.play(500);
    EXPECT_GT(calls.load(), whileOn);
}

TEST_F(DeskController, FadersTakeOverSoftlyAndBendsSpringBack) {
    DeskRig rig;
    rig.load(0);
    Controller c(rig);
    // The desk's level is full: a fader coming up from the bottom waits until it meets it.
    c.send(0xB0, 0x07, 0);
    EXPECT_EQ(rig.desk.faders().deckLevel(0), 256);
    c.send(0xB0, 0x07, 127);
    c.send(0xB0, 0x07, 64);
    EXPECT_EQ(rig.desk.faders().deckLevel(0), 129);

    // Crossfader from the middle, then fully right.
    c.send(0xB0, 0x40, 64);
    c.send(0xB0, 0x40, 127);
    EXPECT_EQ(rig.desk.faders().crossfader(), kCrossfaderMax);

    // Pitch at its middle is normal speed; the top is the range's fastest.
    c.send(0xB0, 0x0D, 64);
    c.send(0xB0, 0x0D, 127);
    EXPECT_EQ(rig.deck(0).pitch(), rig.desk.faders().pitchMax());
    rig.call([&] { rig.desk.faders().setDeckPitch(0, kNormalPitch); });

    c.send(0x90, 0x08, 0x7F);
    EXPECT_EQ(rig.deck(0).pitch(), kNormalPitch + DeskControllerActions::kBend);
    c.send(0x80, 0x08, 0);
    EXPECT_EQ(rig.deck(0).pitch(), kNormalPitch);
    c.send(0x90, 0x07, 0x7F);
    EXPECT_EQ(rig.deck(0).pitch(), kNormalPitch - DeskControllerActions::kBend);
    c.send(0x80, 0x07, 0);
    EXPECT_EQ(rig.deck(0).pitch(), kNormalPitch);
}

TEST_F(DeskController, JogWheelsReachTheJogTargetOfTheirDeck) {
    DeskRig rig;
    Controller c(rig);
    c.send(0x91, 0x0C, 0x7F);
    c.send(0xB1, 0x0E, 0x7E);  // two ticks back, of 128 a turn
    c.send(0x81, 0x0C, 0x00);
    EXPECT_EQ(c.jog.calls, (std::vector<std::string>{"touch 1 on", "turn 1 -0.01", "touch 1 off"}));
}

}  // namespace
}  // namespace spinlorex::test
