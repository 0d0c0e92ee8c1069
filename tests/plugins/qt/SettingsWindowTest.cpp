// The settings window of a shipped effect, opened through the host as the plug-in
// dialog's "config" does.

#include <gtest/gtest.h>

#include <QtCore/QTimer>
#include <QtWidgets/QApplication>
#include <QtWidgets/QDialog>
#include <QtWidgets/QSlider>

#include <fstream>

#include "plugins/DspPlugin.h"
#include "plugins/PluginTestSupport.h"
#include "support/Files.h"
#include "support/QtApp.h"

namespace spinlorex {
namespace {

std::vector<int16_t> run(DspPlugin& plugin, std::vector<int16_t> frames) {
    constexpr int32_t kChunk = 3088;
    std::vector<int16_t> buffer(4 * kChunk);
    const auto total = static_cast<int32_t>(frames.size() / 2);
    for (int32_t at = 0; at < total; at += kChunk) {
        const int32_t n = std::min(kChunk, total - at);
        std::copy_n(frames.begin() + 2 * at, 2 * n, buffer.begin());
        EXPECT_EQ(plugin.modifySamples(buffer.data(), n), n);
        std::copy_n(buffer.begin(), 2 * n, frames.begin() + 2 * at);
    }
    return frames;
}

TEST(EffectSettingsWindowTest, ChangesTheRunningEffectAndIsRemembered) {
    if (test::qtApp() == nullptr) GTEST_SKIP() << "no QApplication";
    test::TempDir config;
    test::ScopedEnv configEnv("SPINLOREX_CONFIG_DIR", config.path().string());
    auto plugin = makeDspPlugin(test::kEffectsPlugin, 3);
    ASSERT_TRUE(plugin);
    static int slidersSeen;
    slidersSeen = 0;
    QTimer::singleShot(0, [] {
        QWidget* window = QApplication::activeModalWidget();
        if (window == nullptr) return;
        slidersSeen = static_cast<int>(window->findChildren<QSlider*>().size());
        if (auto* gain = window->findChild<QSlider*>("gain")) gain->setValue(12);  // +6 dB
        if (auto* dialog = qobject_cast<QDialog*>(window)) dialog->reject();
    });
    plugin->configure();
    EXPECT_EQ(slidersSeen, 2);

    const std::vector<int16_t> tone = test::tones({300}, 4000, 44100);
    EXPECT_NEAR(test::amplitudeAt(run(*plugin, tone), 300), 4000 * 1.9953, 4);
    auto later = makeDspPlugin(test::kEffectsPlugin, 3);
    ASSERT_TRUE(later);
    EXPECT_NEAR(test::amplitudeAt(run(*later, tone), 300), 4000 * 1.9953, 4);
    std::ifstream in(config.file("dsp_spinlorex.conf"));
    const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_NE(text.find("gain.gain=12\n"), std::string::npos) << text;
}

}  // namespace
}  // namespace spinlorex
