// The controllers dialog's learn mode: what a moved control becomes in the mapping file.

#include <QtWidgets/QComboBox>
#include <QtWidgets/QLabel>
#include <QtWidgets/QListWidget>
#include <QtWidgets/QPushButton>
#include <QtWidgets/QSpinBox>

#include <fstream>

#include "app/dialogs/ControllersDialog.h"
#include "app/dialogs/DialogFixture.h"
#include "midi/Mapping.h"

namespace spinlorex::test {
namespace {

using ControllersDialogTest = DialogTest;

struct FakeControllers : ControllerSource {
    std::vector<Controller> list;
    Learn learn;
    std::string folder;
    int changes = 0;
    std::vector<Controller> controllers() const override { return list; }
    void learnNext(Learn l) override { learn = std::move(l); }
    void mappingsChanged() override { ++changes; }
    std::string userFolder() const override { return folder; }
    void move(uint8_t status, uint8_t a, uint8_t b) {
        const uint8_t bytes[] = {status, a, b};
        std::exchange(learn, {})(list.front().port, midi::MidiMessage::fromBytes(bytes, 3));
    }
};

std::string readText(const std::string& path) {
    std::ifstream in(path);
    return {std::istreambuf_iterator<char>(in), {}};
}

TEST_F(ControllersDialogTest, ALearnedControlIsAddedToTheUsersCopyOfTheShippedMapping) {
    TempDir shipped, user;
    const std::string shippedPath = shipped.file("maker.map");
    std::ofstream(shippedPath) << "name Maker\nport Maker DJ\nbind decks play note 1 0x01\n";
    FakeControllers source;
    source.folder = user.path().string();
    source.list = {{"Maker DJ:Maker DJ MIDI 1 24:0", shippedPath, true}};
    ControllersDialog dialog(&host.desk, source);
    EXPECT_EQ(dialog.controllerList().count(), 1);

    dialog.actionChoice().setCurrentIndex(dialog.actionChoice().findText("hotcue"));
    dialog.deckChoice().setCurrentIndex(1);  // deck 2
    dialog.argumentChoice().setValue(3);
    dialog.learnButton().click();
    ASSERT_TRUE(source.learn);
    source.move(0x91, 0x22, 0x7F);

    const std::string copy = user.file("maker.map");
    const midi::MappingRead read = midi::parseMapping(readText(copy));
    EXPECT_TRUE(read.errors.empty());
    ASSERT_EQ(read.mapping.bindings.size(), 3u);  // play on both decks, and the hot cue
    const midi::Binding& learned = read.mapping.bindings.back();
    EXPECT_EQ(learned.action, midi::Action::HotCue);
    EXPECT_EQ(learned.deck, 1);
    EXPECT_EQ(learned.argument, 3);
    EXPECT_EQ(learned.message.channel, 1);
    EXPECT_EQ(learned.message.number, 0x22);
    EXPECT_EQ(source.changes, 1);
    EXPECT_EQ(readText(shippedPath), "name Maker\nport Maker DJ\nbind decks play note 1 0x01\n");

    // A button cannot drive a fader: told, nothing written.
    dialog.actionChoice().setCurrentIndex(dialog.actionChoice().findText("crossfader"));
    dialog.learnButton().click();
    source.move(0x90, 0x30, 0x7F);
    EXPECT_TRUE(dialog.status().text().contains("cannot drive"));
    EXPECT_EQ(midi::parseMapping(readText(copy)).mapping.bindings.size(), 3u);
    EXPECT_EQ(source.changes, 1);
}

}  // namespace
}  // namespace spinlorex::test
