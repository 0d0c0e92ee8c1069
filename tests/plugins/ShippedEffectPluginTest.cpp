// dsp_spinlorex.so as the desk and the tool load it: its modules, bit-transparent at
// neutral settings through the host, and the render command running a module on a deck
// with the settings from its file.

#include <gtest/gtest.h>

#include <fstream>

#include "plugins/DspPlugin.h"
#include "plugins/PluginLists.h"
#include "plugins/PluginTestSupport.h"
#include "plugins/effects/Effect.h"
#include "support/Files.h"
#include "support/WavFile.h"
#include "tools/synth/Synth.h"

namespace spinlorex {
namespace {

using test::kEffectsPlugin;

constexpr int32_t kChunk = 3088;

// Runs the holder over the frames chunk by chunk, in a buffer with the deck's room.
std::vector<int16_t> run(DspPlugin& plugin, const std::vector<int16_t>& frames) {
    std::vector<int16_t> out;
    std::vector<int16_t> buffer(4 * kChunk);
    const auto total = static_cast<int32_t>(frames.size() / 2);
    for (int32_t at = 0; at < total; at += kChunk) {
        const int32_t n = std::min(kChunk, total - at);
        std::copy_n(frames.begin() + 2 * at, 2 * n, buffer.begin());
        const int32_t returned = plugin.modifySamples(buffer.data(), n);
        out.insert(out.end(), buffer.begin(), buffer.begin() + 2 * returned);
    }
    return out;
}

class ShippedEffectPluginTest : public ::testing::Test {
protected:
    test::TempDir config;
    test::ScopedEnv configEnv{"SPINLOREX_CONFIG_DIR", config.path().string()};
    std::string settingsFile = config.file("dsp_spinlorex.conf");
};

TEST_F(ShippedEffectPluginTest, OffersFourModulesThatPassAudioUnchangedAtNeutral) {
    std::vector<std::string> modules;
    ASSERT_TRUE(listModules(kEffectsPlugin, modules));
    EXPECT_EQ(modules, (std::vector<std::string>{"Kill EQ (250 Hz / 4 kHz)",
                                                 "Filter Sweep (low-pass / high-pass)", "Echo",
                                                 "Gain / Limiter"}));
    const std::vector<int16_t> music = synth::toPcm16(synth::render({.seconds = 3, .gain = 0.95}));
    for (int32_t index = 0; index < 4; ++index) {
        auto plugin = makeDspPlugin(kEffectsPlugin, index);
        ASSERT_TRUE(plugin) << index;
        EXPECT_EQ(run(*plugin, music), music) << modules[static_cast<size_t>(index)];
    }
    EXPECT_FALSE(makeDspPlugin(kEffectsPlugin, 4));
}

TEST_F(ShippedEffectPluginTest, RenderCommandRunsTheModuleOnTheDeck) {
    test::TempDir dir;
    const std::string in = dir.file("in.wav");
    ASSERT_TRUE(synth::writeWav(in, synth::render({.seconds = 5}), 44100, 2, 16));
    const auto render = [&](const std::string& options, const std::string& out) {
        const std::string command = std::string(SPINLOREX_TOOL_PATH) + " render " + options + " " +
                                    in + " " + dir.file(out) + " 2>/dev/null";
        return std::system(command.c_str());
    };
    ASSERT_EQ(render("", "plain.wav"), 0);
    // No application in the tool: the module still runs.
    ASSERT_EQ(render("--dsp " + kEffectsPlugin + ":2", "neutral.wav"), 0);
    ASSERT_EQ(render("--dsp " + kEffectsPlugin, "first.wav"), 0);
    std::ofstream(settingsFile) << "echo.mix=60\ngain.gain=-12\n";
    ASSERT_EQ(render("--dsp " + kEffectsPlugin + ":2", "echo.wav"), 0);
    ASSERT_EQ(render("--dsp " + kEffectsPlugin + ":3", "gain.wav"), 0);
    EXPECT_NE(render("--dsp " + kEffectsPlugin + ":7", "none.wav"), 0);
    EXPECT_NE(render("--dsp " + test::kNotAPlugin, "none.wav"), 0);

    const test::WavFile plain = test::readWav(dir.file("plain.wav"));
    ASSERT_TRUE(plain.valid);
    EXPECT_GT(plain.samples.size(), 2u * 44100 * 4);
    EXPECT_EQ(test::readWav(dir.file("neutral.wav")).samples, plain.samples);
    EXPECT_EQ(test::readWav(dir.file("first.wav")).samples, plain.samples);
    const test::WavFile echoed = test::readWav(dir.file("echo.wav"));
    EXPECT_EQ(echoed.samples.size(), plain.samples.size());
    EXPECT_NE(echoed.samples, plain.samples);
    // Every frame heard went through the module, the first chunk after the seek too.
    effects::GainLimiter halfLevel;
    halfLevel.setParam(effects::GainLimiter::kGain, -12);
    std::vector<int16_t> expected = plain.samples;
    halfLevel.process(expected.data(), static_cast<int32_t>(expected.size() / 2), 2);
    EXPECT_EQ(test::readWav(dir.file("gain.wav")).samples, expected);
}

}  // namespace
}  // namespace spinlorex
