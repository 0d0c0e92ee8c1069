#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>
#include <string>

#include "midi/Mapping.h"
#include "midi/MappingFolder.h"

using namespace spinlorex::midi;

namespace {

const char* const kTwoDecks = R"(# two decks, deck 2 one channel up
name  Test Controller  Mk2
port Test Controller
jog-ticks-per-turn 0x200
deck2-offset channel 1
bind decks play note 1 0x0B
bind decks hotcue 3 note 1 0x20 shifted
bind decks pitch cc14 1 0x0D 0x2D invert no-takeover
bind decks jog cc 1 0x19 offset64
bind deck2 pitch-bend-up note 5 1 toggle
bind desk crossfader pitchbend 16
light decks play note 1 0x0B on 0x7E off 1
)";

}  // namespace

TEST(MappingFile, ReadsEveryKindOfLineAndGivesDeckTwoItsOffset) {
    const MappingRead read = parseMapping(kTwoDecks);
    ASSERT_TRUE(read.errors.empty()) << read.errors.front();
    const Mapping& m = read.mapping;
    EXPECT_EQ(m.name, "Test Controller  Mk2");
    EXPECT_EQ(m.jogTicksPerTurn, 512);
    ASSERT_EQ(m.bindings.size(), 10u);
    const Binding& play2 = m.bindings[1];
    EXPECT_EQ(play2.action, Action::Play);
    EXPECT_EQ(play2.deck, 1);
    EXPECT_EQ(play2.message.channel, 1);
    EXPECT_EQ(play2.message.number, 0x0B);
    const Binding& cue = m.bindings[2];
    EXPECT_EQ(cue.argument, 3);
    EXPECT_TRUE(cue.shifted);
    const Binding& pitch = m.bindings[4];
    EXPECT_EQ(pitch.message.kind, MessageKind::Control14);
    EXPECT_EQ(pitch.message.lsbNumber, 0x2D);
    EXPECT_TRUE(pitch.invert);
    EXPECT_FALSE(pitch.takeover);
    EXPECT_EQ(m.bindings[6].encoding, Encoding::Offset64);
    EXPECT_EQ(m.bindings[8].deck, 1);
    EXPECT_EQ(m.bindings[8].mode, ButtonMode::Toggle);
    EXPECT_EQ(m.bindings[9].message.channel, 15);
    ASSERT_EQ(m.lights.size(), 2u);
    EXPECT_EQ(m.lights[1].message.channel, 1);
    EXPECT_EQ(m.lights[1].onValue, 0x7E);
    EXPECT_EQ(m.lights[1].offValue, 1);

    EXPECT_TRUE(matchesPort(m, "test controller mk2 MIDI 1 20:0"));
    EXPECT_FALSE(matchesPort(m, "Other 20:0"));

    // A learned line reads back as the same binding.
    for (const Binding& b :
         {m.bindings[0], m.bindings[2], m.bindings[4], m.bindings[6], m.bindings[8]}) {
        const MappingRead again = parseMapping(bindingLine(b));
        ASSERT_TRUE(again.errors.empty()) << bindingLine(b) << ": " << again.errors.front();
        const Binding& back = again.mapping.bindings.front();
        EXPECT_EQ(back.action, b.action);
        EXPECT_EQ(back.deck, b.deck);
        EXPECT_EQ(back.argument, b.argument);
        EXPECT_EQ(back.message.kind, b.message.kind);
        EXPECT_EQ(back.message.channel, b.message.channel);
        EXPECT_EQ(back.message.number, b.message.number);
        EXPECT_EQ(back.mode, b.mode);
        EXPECT_EQ(back.encoding, b.encoding);
        EXPECT_EQ(back.shifted, b.shifted);
        EXPECT_EQ(back.invert, b.invert);
        EXPECT_EQ(back.takeover, b.takeover);
    }
}

TEST(MappingFile, BadLinesAreNamedByNumberAndTheRestIsKept) {
    const struct {
        const char* line;
        const char* message;
    } cases[] = {
        {"bind decks paly note 1 1", "line 2: unknown action 'paly'"},
        {"bind desk play note 1 1", "line 2: this action is a deck's"},
        {"bind decks crossfader cc 1 1", "line 2: this action is the whole desk's"},
        {"bind decks play note 17 1", "line 2: channel '17' is not a number (1 to 16)"},
        {"bind decks play note 1 0x80", "line 2: note '0x80' is not a number (0 to 127)"},
        {"bind decks play note 1", "line 2: missing note"},
        {"bind decks hotcue 9 note 1 1", "line 2: slot '9' is not a number (1 to 8)"},
        {"bind decks volume note 1 1", "line 2: a fader or knob sends cc"},
        {"bind decks play cc14 1 1 2", "line 2: only faders and knobs"},
        {"bind decks pitch cc14 1 5 5", "line 2: a 14-bit pair needs two different controllers"},
        {"bind decks play note 1 1 twos", "line 2: option 'twos' does not apply to 'play'"},
        {"bind decks play note 1 1 2", "line 2: option '2' does not apply"},
        {"light desk play note 1 1", "line 2: this action is a deck's"},
        {"light decks glow note 1 1", "line 2: unknown light 'glow'"},
        {"light decks play pitchbend 1",
         "line 2: unknown message 'pitchbend' (a light is a note or a cc)"},
        {"jog-ticks-per-turn 0", "line 2: ticks per turn '0' is not a number"},
        {"deck2-offset velocity 3", "line 2: deck2-offset is 'channel N' or 'note N'"},
        {"frobnicate", "line 2: unknown line 'frobnicate'"},
        {"bind decks play note 1 \x01\xff", "line 2: note '?\xff' is not a number"},
        {"bind decks play note 1 4", "line 2: the message is already bound on line 1"},
        {"bind decks stop cc 1 0x7F\ndeck2-offset note 1",
         "line 2: deck 2's message, moved by deck2-offset, is out of range"},
    };
    for (const auto& c : cases) {
        const MappingRead read =
            parseMapping(std::string("bind decks cue note 1 4\n") + c.line + "\nname Kept\n");
        ASSERT_EQ(read.errors.size(), 1u) << c.line;
        EXPECT_EQ(read.errors[0].rfind(c.message, 0), 0u) << c.line << " -> " << read.errors[0];
        EXPECT_EQ(read.mapping.name, "Kept") << c.line;
        EXPECT_FALSE(read.mapping.bindings.empty()) << c.line;
    }

    EXPECT_FALSE(parseMapping(std::string(2 << 20, 'x')).errors.empty());
    const MappingRead many = parseMapping(std::string(200, '\n') + std::string(3000, 'y') + "\n" +
                                          std::string(100, ' ') + [] {
                                              std::string s;
                                              for (int i = 0; i < 80; ++i) s += "nonsense\n";
                                              return s;
                                          }());
    EXPECT_EQ(many.errors.front(), "line 201: the line is longer than 1000 characters");
    EXPECT_EQ(many.errors.size(), 51u);
    EXPECT_EQ(many.errors.back(), "... and 31 more errors");
}

TEST(MappingFile, ShippedMappingsReadWithoutErrors) {
    // Ninja names sources relative to the build folder.
    std::filesystem::path source = __FILE__;
    if (source.is_relative()) source = std::filesystem::path(SPINLOREX_BUILD_DIR) / source;
    const std::string folder =
        (source.parent_path().parent_path().parent_path() / "resources" / "controllers").string();
    const auto files = readMappings({folder}, "");
    ASSERT_FALSE(files.empty()) << folder;
    for (const MappingFile& file : files) {
        EXPECT_TRUE(file.shipped);
        EXPECT_TRUE(file.read.errors.empty()) << file.path << ": " << file.read.errors.front();
        EXPECT_FALSE(file.read.mapping.bindings.empty()) << file.path;
    }
}

TEST(MappingFile, LearnedLinesAreAddedToTheUsersFileWhichReadsBackWithThem) {
    const std::filesystem::path folder = std::filesystem::temp_directory_path() /
                                         ("spinlorex-mapping-" + std::to_string(::getpid()));
    const std::string path = (folder / "controllers" / "mine.map").string();
    std::string error;
    ASSERT_TRUE(
        appendToMapping(path, "DJ Box:DJ Box MIDI 1 24:0", "bind decks play note 1 0x0B", error))
        << error;
    ASSERT_TRUE(
        appendToMapping(path, "ignored once the file exists", "bind desk crossfader cc 1 8", error))
        << error;
    const auto files =
        readMappings({(folder / "controllers").string()}, (folder / "controllers").string());
    ASSERT_EQ(files.size(), 1u);
    EXPECT_FALSE(files[0].shipped);
    EXPECT_TRUE(files[0].read.errors.empty()) << files[0].read.errors.front();
    EXPECT_EQ(files[0].read.mapping.bindings.size(), 3u);
    EXPECT_EQ(mappingForPort(files, "DJ Box:DJ Box MIDI 1 28:0"), &files[0]);
    EXPECT_EQ(mappingForPort(files, "Other"), nullptr);
    // A folder that cannot be made leaves an error, and nothing else.
    EXPECT_FALSE(
        appendToMapping("/proc/no/such/mine.map", "x", "bind desk record note 1 1", error));
    EXPECT_FALSE(error.empty());
    std::filesystem::remove_all(folder);
}
