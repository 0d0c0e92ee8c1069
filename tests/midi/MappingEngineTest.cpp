#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "midi/MappingEngine.h"

using namespace spinlorex::midi;

namespace {

// Records what the engine asks of the desk as text; its faders stand where tests put them.
struct FakeDesk : ControlTarget {
    std::vector<std::string> calls;
    std::optional<double> fader;

    void button(Action a, int deck, int argument, bool down) override {
        calls.push_back(std::string(actionInfo(a).name) + " " + std::to_string(deck) + " " +
                        std::to_string(argument) + (down ? " down" : " up"));
    }
    void position(Action a, int deck, double p) override {
        calls.push_back(std::string(actionInfo(a).name) + " " + std::to_string(deck) + " at " +
                        std::to_string(p).substr(0, 5));
        if (fader) fader = p;
    }
    void step(Action a, int deck, double steps) override {
        calls.push_back(std::string(actionInfo(a).name) + " " + std::to_string(deck) + " by " +
                        std::to_string(steps).substr(0, 6));
    }
    std::optional<double> deskPosition(Action, int) const override { return fader; }
};

struct Sent : LightOutput {
    std::vector<std::string> messages;
    void send(const MidiMessage& m) override { messages.push_back(hexBytes(m)); }
};

MidiMessage msg(uint8_t status, uint8_t a, uint8_t b) {
    const uint8_t bytes[] = {status, a, b};
    return MidiMessage::fromBytes(bytes, 3);
}

Mapping mapping(const char* text) {
    const MappingRead read = parseMapping(text);
    EXPECT_TRUE(read.errors.empty()) << read.errors.front();
    return read.mapping;
}

std::vector<std::string> feed(MappingEngine& engine, FakeDesk& desk,
                              std::initializer_list<MidiMessage> messages) {
    desk.calls.clear();
    for (const MidiMessage& m : messages) engine.handle(m);
    return desk.calls;
}

using Calls = std::vector<std::string>;

}  // namespace

TEST(MappingEngine, ButtonModesShiftAndTheDeckOffset) {
    FakeDesk desk;
    MappingEngine engine(mapping("bind decks play note 1 0x0B\n"
                                 "bind decks cue note 1 0x0C hold\n"
                                 "bind decks effect cc 1 0x0D toggle\n"
                                 "bind desk shift note 1 0x40\n"
                                 "bind decks sync note 1 0x0B shifted\n"
                                 "bind decks hotcue 2 note 1 0x0C shifted\n"),
                         desk);
    EXPECT_EQ(
        feed(engine, desk,
             {msg(0x90, 0x0B, 0x7F), msg(0x80, 0x0B, 0), msg(0x91, 0x0B, 1), msg(0x91, 0x0B, 0)}),
        (Calls{"play 0 0 down", "play 1 0 down"}));
    EXPECT_EQ(feed(engine, desk, {msg(0x90, 0x0C, 0x7F), msg(0x90, 0x0C, 0)}),
              (Calls{"cue 0 0 down", "cue 0 0 up"}));
    EXPECT_EQ(feed(engine, desk,
                   {msg(0xB0, 0x0D, 0x7F), msg(0xB0, 0x0D, 0), msg(0xB0, 0x0D, 0x7F),
                    msg(0xB1, 0x0D, 0x7F)}),
              (Calls{"effect 0 0 down", "effect 0 0 up", "effect 1 0 down"}));
    // Shift held: the shifted bindings apply; a shifted button let go after shift still
    // releases what it pressed.
    EXPECT_EQ(feed(engine, desk,
                   {msg(0x90, 0x40, 0x7F), msg(0x90, 0x0B, 0x7F), msg(0x91, 0x0C, 0x7F),
                    msg(0x90, 0x40, 0), msg(0x91, 0x0C, 0), msg(0x90, 0x0B, 0x7F)}),
              (Calls{"sync 0 0 down", "hotcue 1 2 down", "play 0 0 down"}));
    const Binding* b = engine.bindingFor(msg(0x91, 0x0C, 0x7F));
    ASSERT_NE(b, nullptr);
    EXPECT_EQ(describeBinding(*b), "deck 2 cue");
    EXPECT_EQ(engine.bindingFor(msg(0x92, 0x0C, 0x7F)), nullptr);
}

TEST(MappingEngine, RelativeEncodingsAndJogTurns) {
    FakeDesk desk;
    MappingEngine engine(mapping("jog-ticks-per-turn 4\n"
                                 "bind decks jog cc 1 1 twos\n"
                                 "bind desk browse cc 1 2 offset64\n"
                                 "bind desk mix-now cc 1 3\n"
                                 "bind decks jog cc 1 4 signbit invert\n"),
                         desk);
    EXPECT_EQ(feed(engine, desk,
                   {msg(0xB0, 1, 1), msg(0xB0, 1, 0x7F), msg(0xB1, 1, 0x7E), msg(0xB0, 1, 0)}),
              (Calls{"jog 0 by 0.2500", "jog 0 by -0.250", "jog 1 by -0.500"}));
    EXPECT_EQ(feed(engine, desk, {msg(0xB0, 2, 65), msg(0xB0, 2, 61)}),
              (Calls{"browse 0 by 1.0000", "browse 0 by -3.000"}));
    EXPECT_EQ(feed(engine, desk, {msg(0xB0, 4, 0x42), msg(0xB0, 4, 0x03)}),
              (Calls{"jog 0 by 0.5000", "jog 0 by -0.750"}));
}

TEST(MappingEngine, FadersTakeOverOnlyWhereTheDeskStands) {
    FakeDesk desk;
    MappingEngine engine(mapping("bind decks volume cc 1 7\n"
                                 "bind decks pitch cc14 1 0x0D 0x2D invert\n"
                                 "bind desk crossfader pitchbend 1 no-takeover\n"),
                         desk);
    // No position on the desk: the fader follows at once.
    EXPECT_EQ(feed(engine, desk, {msg(0xB0, 7, 127)}), (Calls{"volume 0 at 1.000"}));
    EXPECT_EQ(
        feed(engine, desk, {msg(0xB0, 0x0D, 0x40), msg(0xB0, 0x2D, 0x00), msg(0xB0, 0x2D, 0x7F)}),
        (Calls{"pitch 0 at 0.499", "pitch 0 at 0.499", "pitch 0 at 0.492"}));
    EXPECT_EQ(feed(engine, desk, {msg(0xE0, 0x7F, 0x7F)}), (Calls{"crossfader 0 at 1.000"}));

    // The desk's fader at 0.5, the control at the bottom: nothing until it comes near or
    // passes the desk's position.
    desk.fader = 0.5;
    MappingEngine soft(
        mapping("bind decks volume cc 1 7\nbind desk crossfader pitchbend 1 no-takeover\n"), desk);
    EXPECT_EQ(
        feed(soft, desk, {msg(0xB0, 7, 0), msg(0xB0, 7, 30), msg(0xB0, 7, 100), msg(0xB0, 7, 90)}),
        (Calls{"volume 0 at 0.787", "volume 0 at 0.708"}));
    desk.fader = 0.5;
    EXPECT_EQ(feed(soft, desk, {msg(0xB1, 7, 62)}), (Calls{"volume 1 at 0.488"}));
    // The desk moved by other means: the control must meet it again.
    desk.fader = 0.1;
    EXPECT_EQ(feed(soft, desk, {msg(0xB0, 7, 80), msg(0xB0, 7, 14)}), (Calls{"volume 0 at 0.110"}));
    EXPECT_EQ(feed(soft, desk, {msg(0xE0, 0, 0)}), (Calls{"crossfader 0 at 0.000"}));
}

TEST(MappingEngine, LightsAreSentOnlyWhenTheyChange) {
    FakeDesk desk;
    MappingEngine engine(mapping("light decks play note 1 0x0B\n"
                                 "light decks sync cc 1 0x0C on 0x40 off 1\n"
                                 "light deck2 selected note 16 0x10\n"),
                         desk);
    Sent out;
    std::array<DeckLights, 2> lights{};
    engine.updateLights(lights, out);
    EXPECT_EQ(out.messages, (std::vector<std::string>{"90 0b 00", "91 0b 00", "b0 0c 01",
                                                      "b1 0c 01", "9f 10 00"}));
    out.messages.clear();
    engine.updateLights(lights, out);
    EXPECT_TRUE(out.messages.empty());
    lights[1].play = true;
    lights[0].sync = true;
    lights[1].selected = true;
    engine.updateLights(lights, out);
    engine.updateLights(lights, out);
    EXPECT_EQ(out.messages, (std::vector<std::string>{"91 0b 7f", "b0 0c 40", "9f 10 7f"}));
    out.messages.clear();
    engine.forgetLights();
    engine.updateLights(lights, out);
    EXPECT_EQ(out.messages.size(), 5u);
}

TEST(MappingEngine, LearnedBindingsFollowTheControlMoved) {
    const auto button = learnedBinding(msg(0x93, 0x22, 0x7F), Action::Cue, 1, 0, false);
    ASSERT_TRUE(button);
    EXPECT_EQ(bindingLine(*button), "bind deck2 cue note 4 0x22");
    const auto fader = learnedBinding(msg(0xB0, 0x07, 0x10), Action::Crossfader, 0, 0, true);
    ASSERT_TRUE(fader);
    EXPECT_EQ(bindingLine(*fader), "bind desk crossfader cc 1 0x07");
    const auto encoder = learnedBinding(msg(0xB0, 0x10, 0x3F), Action::Jog, 0, 0, true);
    EXPECT_EQ(bindingLine(*encoder), "bind decks jog cc 1 0x10 offset64");
    EXPECT_EQ(bindingLine(*learnedBinding(msg(0xB0, 0x10, 0x7F), Action::Browse, 0, 0, true)),
              "bind desk browse cc 1 0x10");
    EXPECT_EQ(bindingLine(*learnedBinding(msg(0x90, 0x10, 0x7F), Action::HotCue, 0, 5, false)),
              "bind deck1 hotcue 5 note 1 0x10");
    EXPECT_FALSE(learnedBinding(msg(0x90, 0x10, 0x7F), Action::Volume, 0, 0, true));
    EXPECT_FALSE(learnedBinding(msg(0xE0, 0, 0x40), Action::Play, 0, 0, true));
}
