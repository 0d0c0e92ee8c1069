// A controller on the running desk through a real MIDI port: a private JACK server, a
// virtual port playing the controller, its mapping in the settings folder.

#include <gtest/gtest.h>

#include <QtWidgets/QComboBox>
#include <QtWidgets/QLabel>
#include <QtWidgets/QPushButton>

#include <algorithm>
#include <filesystem>
#include <fstream>

#include "app/ControllerHub.h"
#include "app/DeskApp.h"
#include "app/DeskAppFixture.h"
#include "app/dialogs/ControllersDialog.h"
#include "audio/Crossfader.h"
#include "audio/DeckPair.h"
#include "desk/MixingDesk.h"
#include "library/BeatGrid.h"
#include "library/TrackRecord.h"
#include "midi/JackSupport.h"

namespace spinlorex {
namespace {

using test::processUntil;

constexpr const char* kMapping = R"(name Test controller
port Test Controller
bind decks play       note 1 0x01
bind decks sync       note 1 0x04
bind desk crossfader  cc 1 0x40
light decks play      note 1 0x01
light decks sync      note 1 0x04
)";

class ControllerAppTest : public test::DeskAppFixture {
protected:
    ControllerAppTest() : DeskAppFixture("Warm - Up.wav", 30) {}

    void SetUp() override {
        DeskAppFixture::SetUp();
        std::filesystem::create_directories(config_.path() / "controllers");
        std::ofstream(config_.path() / "controllers" / "test.map") << kMapping;
        // Both tracks at 128 BPM, whatever grids the background analysis gives them.
        synth::writeWav(track_, synth::render({.bpm = 128, .seconds = 30}), 44100, 2, 16);
        second_ = elsewhere_.file("Peak - Time.wav");
        synth::writeWav(second_, synth::render({.bpm = 128, .seconds = 30, .seed = 3}), 44100, 2,
                        16);
    }
    bool lit(test::VirtualController& c, const std::string& lamp) {
        return processUntil([&] {
            const auto lamps = c.lamps();
            return std::find(lamps.begin(), lamps.end(), lamp) != lamps.end();
        });
    }

    test::TempDir elsewhere_;
    std::string second_;
};

TEST_F(ControllerAppTest, AControllerPlaysMovesTheCrossfaderSyncsSeesItsLampsAndLearns) {
    test::TempDir jackFolder;
    test::PrivateJack jack(jackFolder);
    if (!jack.running()) GTEST_SKIP() << "no MIDI system for the test: " << jack.why();
    auto controller = std::make_unique<test::VirtualController>();
    DeskApp app;
    ASSERT_TRUE(app.create()) << (fatalError() ? fatalError() : "");
    MixingDesk& desk = *app.desk();
    DeckPair& decks = *app.decks();
    desk.loadOntoDeck(0, TrackEntry{"Warm", "Up.wav", track_, nullptr});
    desk.loadOntoDeck(1, TrackEntry{"Peak", "Time.wav", second_, nullptr});
    ASSERT_TRUE(test::waitForLoads(desk));
    ASSERT_TRUE(processUntil([&] {
        for (const auto& c : app.controllers()->controllers())
            if (c.port.find("Test Controller") != std::string::npos && !c.mappingPath.empty())
                return true;
        return false;
    }));

    controller->send(0x90, 0x01, 0x7F);  // deck 1's play
    controller->send(0x80, 0x01, 0x00);
    ASSERT_TRUE(processUntil([&] { return decks[0].playing(); }));
    EXPECT_FALSE(decks[1].playing());
    EXPECT_TRUE(lit(*controller, "90 01 7f"));

    // The fader meets the desk's crossfader in the middle, then takes it to the right.
    controller->send(0xB0, 0x40, 0x40);
    controller->send(0xB0, 0x40, 0x7F);
    EXPECT_TRUE(processUntil([&] { return desk.faders().crossfader() == kCrossfaderMax; }));

    // Both tracks on grids of 128 BPM, their beats apart: deck 2's sync locks it on deck 1's.
    for (int d = 0; d < 2; ++d)
        decks[d].track()->record->grid = std::make_shared<BeatGrid>(
            BeatGrid{{GridSection{0.0, 0.1 + 0.13 * d, 60.0 / 128}}, 1.0f, 30.0});
    controller->send(0x91, 0x01, 0x7F);
    ASSERT_TRUE(processUntil([&] { return decks[1].playing(); }));
    controller->send(0x91, 0x04, 0x7F);
    EXPECT_TRUE(processUntil([&] { return desk.sync().phaseLock().follower() == 1; }));
    EXPECT_TRUE(lit(*controller, "91 04 7f"));

    // Learned: deck 1's select on a pad the mapping does not know; learning does not act.
    ASSERT_EQ(desk.panels().selectedDeck(), 1);
    {
        ControllersDialog dialog(app.deskWindow(), *app.controllers());
        dialog.actionChoice().setCurrentIndex(dialog.actionChoice().findText("select"));
        dialog.deckChoice().setCurrentIndex(0);
        dialog.learnButton().click();
        controller->send(0x90, 0x20, 0x7F);
        controller->send(0x80, 0x20, 0x00);
        ASSERT_TRUE(processUntil([&] { return dialog.status().text().startsWith("Bound"); }));
    }
    EXPECT_EQ(desk.panels().selectedDeck(), 1);
    controller->send(0x90, 0x20, 0x7F);
    EXPECT_TRUE(processUntil([&] { return desk.panels().selectedDeck() == 0; }));
    app.destroy();
}

}  // namespace
}  // namespace spinlorex
