// spinlorex-tool devices and play in a two-card mode: the WAV backend's two devices stand
// for the cards, each writing its own file.

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "platform/sound/SoundTestSupport.h"
#include "support/ChildProcess.h"
#include "support/Files.h"
#include "support/ToneFit.h"
#include "support/WavFile.h"
#include "tools/synth/Synth.h"

namespace spinlorex {
namespace {

TEST(ToolPlay, TwoCardsTakeTheDevicesListedAndThePreListenTheDeckSelected) {
    test::TempDir dir;
    const std::string out = dir.file("card.wav");
    // The children inherit this (the suite's own choice would come first otherwise).
    const test::ScopedEnv audio("SPINLOREX_AUDIO", "wav:" + out);
    const std::vector<std::pair<std::string, std::string>> env;
    const std::string tones[2] = {dir.file("a.wav"), dir.file("b.wav")};
    for (int d = 0; d < 2; ++d) {
        const pid_t made = test::startProgram({SPINLOREX_TOOL_PATH, "generate", "--tone",
                                               d == 0 ? "440" : "1000", "--seconds", "5", tones[d]},
                                              {}, dir.file("generate.log"));
        ASSERT_EQ(test::waitChild(made), 0);
    }

    // The list: the default device, then the two files, each with its identifier.
    const pid_t listing =
        test::startProgram({SPINLOREX_TOOL_PATH, "devices"}, env, dir.file("devices.txt"));
    ASSERT_EQ(test::waitChild(listing), 0);
    std::ifstream list(dir.file("devices.txt"));
    std::vector<std::string> ids;
    for (std::string line; std::getline(list, line);) {
        ids.push_back(line.substr(0, line.find(' ')));
        EXPECT_NE(line.find("4 ch"), std::string::npos) << line;
    }
    ASSERT_EQ(ids.size(), 3u);
    EXPECT_EQ(ids[0], "default");

    const pid_t play = test::startProgram(
        {SPINLOREX_TOOL_PATH, "play", "--output-mode", "4", "--device", ids[1], "--device2", ids[2],
         "--crossfader", "0", "--select", "2", "--seconds", "1.5", tones[0], tones[1]},
        env, dir.file("play.log"));
    ASSERT_EQ(test::waitChild(play), 0);
    // Speakers: the mix, deck 1 alone at crossfader 0; headphones: deck 2.
    const double want[2] = {440, 1000};
    for (int card = 0; card < 2; ++card) {
        const test::WavFile wav = test::readWav(card == 0 ? out : dir.file("card-2.wav"));
        ASSERT_TRUE(wav.valid) << card;
        const auto frames = static_cast<int64_t>(wav.samples.size() / wav.channels);
        ASSERT_GT(frames, 22050) << card;
        const int64_t from = frames - 8820;  // a tenth of a second well before the end
        EXPECT_GT(test::toneAmplitude(wav.samples, wav.channels, 0, want[card], from, 4410), 1000)
            << card;
        EXPECT_LT(test::toneAmplitude(wav.samples, wav.channels, 0, want[1 - card], from, 4410), 50)
            << card;
    }

    const pid_t bad = test::startProgram(
        {SPINLOREX_TOOL_PATH, "play", "--device2", "nonsense", tones[0]}, env, dir.file("bad.log"));
    EXPECT_EQ(test::waitChild(bad), 2);
}

}  // namespace
}  // namespace spinlorex
