#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>

#include "midi/JackSupport.h"
#include "midi/MidiPorts.h"

using namespace spinlorex;
using namespace spinlorex::midi;
using namespace spinlorex::test;
using namespace std::chrono_literals;

namespace {

struct Heard : PortListener {
    std::mutex mutex;
    std::vector<std::pair<int, std::string>> opened;
    std::vector<int> closed;
    std::vector<std::string> messages;

    void portOpened(int id, const std::string& name) override {
        std::lock_guard lock(mutex);
        opened.emplace_back(id, name);
    }
    void portMessage(int id, const MidiMessage& m, int64_t) override {
        std::lock_guard lock(mutex);
        messages.push_back(std::to_string(id) + ": " + hexBytes(m));
    }
    void portClosed(int id) override {
        std::lock_guard lock(mutex);
        closed.push_back(id);
    }
    template <typename F>
    bool wait(F&& done) {
        return waitFor(
            [&] {
                std::lock_guard lock(mutex);
                return done();
            },
            10s);
    }
    int idOf(const std::string& name) {
        std::lock_guard lock(mutex);
        for (auto it = opened.rbegin(); it != opened.rend(); ++it)
            if (it->second == name) return it->first;
        return 0;
    }
};

bool has(const std::vector<std::string>& lines, const std::string& line) {
    return std::find(lines.begin(), lines.end(), line) != lines.end();
}

constexpr const char* kPort = "Test Controller:Test Controller";

}  // namespace

TEST(MidiPorts, AControllerIsFoundHeardLitDroppedAndFoundAgain) {
    TempDir dir;
    PrivateJack jack(dir);
    if (!jack.running()) GTEST_SKIP() << "no MIDI system for the test: " << jack.why();
    Heard heard;
    MidiPorts ports(heard);
    ports.start();
    auto controller = std::make_unique<VirtualController>();
    // Other ports of the machine (ALSA's) may be opened too; the test's is known by name.
    ASSERT_TRUE(waitFor([&] { return heard.idOf(kPort) != 0; }, 10s));
    const int id = heard.idOf(kPort);

    controller->send(0x90, 0x0B, 0x7F);
    controller->send(0xB1, 0x07, 0x40);
    ASSERT_TRUE(heard.wait([&] { return heard.messages.size() >= 2; }));
    EXPECT_EQ(heard.messages, (std::vector<std::string>{std::to_string(id) + ": 90 0b 7f",
                                                        std::to_string(id) + ": b1 07 40"}));

    MidiMessage lamp;
    lamp.status = 0x91;
    lamp.data1 = 0x0B;
    lamp.data2 = 0x7F;
    lamp.size = 3;
    ASSERT_TRUE(ports.send(id, lamp));
    EXPECT_TRUE(waitFor([&] { return has(controller->lamps(), "91 0b 7f"); }, 10s));

    controller.reset();
    ASSERT_TRUE(heard.wait([&] {
        return std::find(heard.closed.begin(), heard.closed.end(), id) != heard.closed.end();
    }));
    EXPECT_FALSE(ports.send(id, lamp));

    controller = std::make_unique<VirtualController>();
    ASSERT_TRUE(waitFor([&] { return heard.idOf(kPort) != id; }, 10s));
    const int again = heard.idOf(kPort);
    controller->send(0x80, 0x0B, 0x00);
    EXPECT_TRUE(
        heard.wait([&] { return has(heard.messages, std::to_string(again) + ": 80 0b 00"); }));
}

TEST(MidiTool, PrintsEachMessageWithTheActionItsMappingBinds) {
    TempDir dir;
    PrivateJack jack(dir);
    if (!jack.running()) GTEST_SKIP() << "no MIDI system for the test: " << jack.why();
    std::filesystem::create_directories(dir.path() / "config" / "controllers");
    std::ofstream(dir.path() / "config" / "controllers" / "test.map")
        << "port test controller\n"
           "bind decks play note 1 0x0B\n"
           "bind desk crossfader cc 1 0x08\n";
    VirtualController controller;
    Child tool({SPINLOREX_TOOL_PATH, "midi", "--seconds", "30"},
               {"SPINLOREX_CONFIG_DIR=" + dir.file("config")}, dir.file("tool.out"),
               dir.file("tool.err"));
    auto output = [&] {
        const Bytes text = readFile(dir.file("tool.out"));
        return std::string(text.begin(), text.end());
    };
    ASSERT_TRUE(
        waitFor([&] { return output().find("opened Test Controller") != std::string::npos; }, 10s))
        << output();
    EXPECT_NE(output().find("test.map"), std::string::npos) << output();
    controller.send(0x91, 0x0B, 0x7F);
    controller.send(0xB0, 0x08, 0x10);
    controller.send(0xB0, 0x09, 0x10);
    EXPECT_TRUE(waitFor(
        [&] { return output().find(std::string(kPort) + "  b0 09 10\n") != std::string::npos; },
        10s))
        << output();
    EXPECT_NE(output().find(std::string(kPort) + "  91 0b 7f  deck 2 play\n"), std::string::npos)
        << output();
    EXPECT_NE(output().find(std::string(kPort) + "  b0 08 10  desk crossfader\n"),
              std::string::npos)
        << output();
}
