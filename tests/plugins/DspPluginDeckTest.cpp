// Plug-in holders on a real deck: a module is never called after its quit, however it is
// replaced, and a module's claims are held to the deck's room.

#include <gtest/gtest.h>

#include <dlfcn.h>

#include <atomic>
#include <chrono>
#include <deque>
#include <thread>

#include "plugins/DspPlugin.h"
#include "plugins/PluginTestSupport.h"
#include "support/DeckHarness.h"

namespace spinlorex {
namespace {

using test::CallLog, test::DeckHarness, test::kRecorderPlugin;

int logged(int& field) { return std::atomic_ref<int>(field).load(std::memory_order_relaxed); }

// A recorder holder whose calls go into `log`.
std::unique_ptr<DspPlugin> recorder(CallLog& log, void* parent = nullptr) {
    auto plugin = makeDspPlugin(kRecorderPlugin, 0, parent);
    if (!plugin) return nullptr;
    auto attach =
        reinterpret_cast<void (*)(CallLog*)>(::dlsym(plugin->module()->instance, "recorderAttach"));
    if (attach == nullptr) return nullptr;
    attach(&log);
    return plugin;
}

TEST(DspPluginDeckTest, AReplacedModuleGetsItsQuitAfterItsLastCall) {
    DeckHarness h;
    int window = 0;
    CallLog first, second;
    auto plugin = recorder(first, &window);
    ASSERT_TRUE(plugin);
    plugin->configure();
    EXPECT_EQ(first.config, 1);
    EXPECT_EQ(first.init, 1);

    h.call([&] {
        ASSERT_TRUE(h.load(0));
        h.deck(0).setDspPlugin(std::move(plugin));
        h.deck(0).seekAndPlay(0.1f);
    });
    h.runPasses(20);
    EXPECT_GT(logged(first.process), 0);
    EXPECT_EQ(logged(first.parentSeen), 1) << "16 bits, 2 channels, 44100 Hz and the window";
    EXPECT_EQ(logged(first.quit), 0);

    auto replacement = recorder(second);
    ASSERT_TRUE(replacement);
    DspPlugin* handedOver = replacement.get();
    h.call([&] { h.deck(0).setDspPlugin(std::move(replacement)); });
    EXPECT_EQ(h.deck(0).dspPlugin(), handedOver);
    EXPECT_EQ(logged(first.quit), 1);
    h.runPasses(20);
    EXPECT_GT(logged(second.process), 0);
    h.call([&] { h.deck(0).setDspPlugin(nullptr); });
    EXPECT_EQ(logged(second.quit), 1);
    h.runPasses(5);
    EXPECT_EQ(logged(first.processAfterQuit), 0);
    EXPECT_EQ(logged(second.processAfterQuit), 0);
}

TEST(DspPluginDeckTest, ReplacingWhileTheSoundThreadPlaysNeverCallsAModuleAfterItsQuit) {
    DeckHarness h;
    h.startSoundThread();
    ASSERT_TRUE(h.load(0));
    h.deck(0).seekAndPlay(0.0f);
    std::deque<CallLog> logs;  // addresses stay put
    for (int i = 0; i < 12; ++i) {
        auto plugin = recorder(logs.emplace_back());
        ASSERT_TRUE(plugin);
        h.deck(0).setDspPlugin(std::move(plugin));
        std::this_thread::sleep_for(std::chrono::milliseconds(i % 3 == 0 ? 0 : 15));
    }
    h.deck(0).setDspPlugin(nullptr);
    int processed = 0;
    for (CallLog& log : logs) {
        EXPECT_EQ(logged(log.quit), 1);
        EXPECT_EQ(logged(log.processAfterQuit), 0);
        processed += logged(log.process);
    }
    EXPECT_GT(processed, 0);
}

TEST(DspPluginDeckTest, AModuleClaimingFarMoreFramesStaysInsideTheDecksRing) {
    DeckHarness h;
    auto greedy = makeDspPlugin(test::kCounterPlugin, 1);
    ASSERT_TRUE(greedy);
    h.call([&] {
        ASSERT_TRUE(h.load(0));
        h.deck(0).setDspPlugin(std::move(greedy));
        h.deck(0).seekAndPlay(0.2f);
    });
    h.runPasses(40);  // the output ring wraps several times (the sanitizers watch)
    const std::vector<int16_t> captured = h.takeCaptured(0);
    ASSERT_GT(captured.size() / 2, 40u * 3088);
    // Every frame twice: the chunks were doubled and kept whole, from the first one heard
    // (rendered while the seek was served; its doubled 6176 frames start with a 1024-frame
    // fade-in under master tempo) on.
    const auto frame = [&](size_t i) { return test::FakeReader::decode(&captured[2 * i]); };
    for (size_t at : {size_t{2048}, size_t{5000}, captured.size() / 4 & ~size_t{1}}) {
        EXPECT_EQ(frame(at), frame(at + 1)) << at;
        EXPECT_EQ(frame(at + 2), frame(at) + 1) << at;
        EXPECT_EQ(frame(at + 3), frame(at + 2)) << at;
    }
}

// Marks every frame it processes (right channel -1).
struct MarkingEffect : DspHook {
    int32_t modifySamples(int16_t* samples, int32_t frames) override {
        for (int32_t i = 0; i < frames; ++i) samples[2 * i + 1] = -1;
        return frames;
    }
};

TEST(DspPluginDeckTest, EveryChunkHeardWentThroughTheEffectWhileCallersSendRequests) {
    DeckHarness h;
    h.startSoundThread();
    ASSERT_TRUE(h.load(0));
    h.deck(0).setDspPlugin(std::make_unique<MarkingEffect>());
    h.deck(0).seekAndPlay(0.0f);
    // Requests that change nothing (the deck plays already) arrive at any point of a pass.
    for (int i = 0; i < 2000; ++i) h.deck(0).play();
    h.deck(0).pause();
    const std::vector<int16_t> captured = h.takeCaptured(0);
    ASSERT_GT(captured.size(), 2u * 44100);
    size_t unprocessed = 0;
    for (size_t i = 1; i < captured.size(); i += 2) unprocessed += captured[i] != -1;
    EXPECT_EQ(unprocessed, 0u);
}

}  // namespace
}  // namespace spinlorex
