// The plug-in host: holders built from test plug-ins (a file without a header, a counter
// whose state shows which loaded copy runs, a module that claims too many frames) and the
// listing routines the plug-in dialog uses.

#include "plugins/DspPlugin.h"

#include <gtest/gtest.h>

#include <sys/mount.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include <filesystem>
#include <fstream>

#include "plugins/PluginLists.h"
#include "plugins/PluginTestSupport.h"
#include "support/Files.h"

namespace spinlorex {
namespace {

namespace fs = std::filesystem;
using test::kCounterPlugin, test::kNotAPlugin, test::kRecorderPlugin;

constexpr int32_t kFrames = 16;

// The loaded library's private copy is alive: /proc/self/fd/N names one of our memory files.
bool isMemoryCopy(const std::string& path) {
    std::error_code ec;
    const fs::path target = fs::read_symlink(path, ec);
    return !ec && target.string().find("memfd:spinlorex-dsp") != std::string::npos;
}

// A chunk with room for twice its frames, as the deck gives.
struct Chunk {
    std::vector<int16_t> samples = std::vector<int16_t>(4 * kFrames, 7);
    int32_t run(DspPlugin& plugin) { return plugin.modifySamples(samples.data(), kFrames); }
};

TEST(DspPluginTest, AFileWithoutAHeaderIsRefusedAndHoldersOfItPassAudioThrough) {
    std::vector<PluginChoice> list{{"kept", "/x"}};
    EXPECT_FALSE(addPluginToLists(kNotAPlugin, list));
    ASSERT_EQ(list.size(), 1u);
    std::vector<std::string> modules;
    EXPECT_FALSE(listModules(kNotAPlugin, modules));
    EXPECT_FALSE(makeDspPlugin(kNotAPlugin, 0));

    std::string copy;
    {
        DspPlugin plugin(kNotAPlugin, 0);
        EXPECT_FALSE(plugin.hasModule());
        EXPECT_EQ(plugin.path(), "");
        EXPECT_EQ(plugin.moduleIndex(), -1);
        copy = plugin.loadedFrom();
        EXPECT_TRUE(isMemoryCopy(copy)) << "loaded from its own copy all the same: " << copy;
        Chunk chunk;
        EXPECT_EQ(chunk.run(plugin), kFrames);
        EXPECT_EQ(chunk.samples, std::vector<int16_t>(4 * kFrames, 7));
    }
    EXPECT_FALSE(isMemoryCopy(copy));

    // No path, or a missing file: nothing is loaded or copied, audio passes.
    for (const std::string& path : {std::string(), std::string("/nonexistent/dsp_x.so")}) {
        DspPlugin plugin(path, 0);
        EXPECT_FALSE(plugin.hasModule());
        EXPECT_EQ(plugin.loadedFrom(), "");
        Chunk chunk;
        EXPECT_EQ(chunk.run(plugin), kFrames);
    }
}

TEST(DspPluginTest, TwoHoldersOfOneFileRunIndependentCopies) {
    int window1 = 0, window2 = 0;
    std::string copy1, copy2;
    {
        DspPlugin deck1(kCounterPlugin, 0, &window1), deck2(kCounterPlugin, 0, &window2);
        ASSERT_TRUE(deck1.hasModule() && deck2.hasModule());
        EXPECT_EQ(deck1.path(), kCounterPlugin);
        EXPECT_EQ(deck1.moduleIndex(), 0);
        copy1 = deck1.loadedFrom(), copy2 = deck2.loadedFrom();
        EXPECT_NE(copy1, copy2);
        for (const std::string& copy : {copy1, copy2}) {
            EXPECT_TRUE(isMemoryCopy(copy)) << copy;
            EXPECT_EQ(test::readFile(copy), test::readFile(kCounterPlugin));
        }
        EXPECT_NE(deck1.module(), deck2.module());
        EXPECT_EQ(deck1.module()->parentWindow, &window1);
        EXPECT_EQ(deck2.module()->parentWindow, &window2);
        EXPECT_NE(deck1.module()->instance, nullptr);
        EXPECT_NE(deck1.module()->instance, deck2.module()->instance);

        // The counter writes its call count and its copy's init count into frame 0.
        Chunk chunk;
        chunk.run(deck1), chunk.run(deck1), chunk.run(deck1);
        EXPECT_EQ(chunk.samples[0], 3);
        EXPECT_EQ(chunk.samples[1], 1);
        chunk.run(deck2);
        EXPECT_EQ(chunk.samples[0], 1);
        EXPECT_EQ(chunk.samples[1], 1);
    }
    EXPECT_FALSE(isMemoryCopy(copy1));
    EXPECT_FALSE(isMemoryCopy(copy2));

    // A copy loaded after the others were unloaded starts afresh.
    DspPlugin again(kCounterPlugin, 0);
    Chunk chunk;
    chunk.run(again);
    EXPECT_EQ(chunk.samples[0], 1);
}

TEST(DspPluginTest, AModuleIndexPastTheLastPassesThroughAndStillCleansUp) {
    for (int32_t index : {2, 99, -1}) {
        std::string copy;
        {
            DspPlugin plugin(kCounterPlugin, index);
            EXPECT_FALSE(plugin.hasModule());
            copy = plugin.loadedFrom();
            EXPECT_TRUE(isMemoryCopy(copy));
            Chunk chunk;
            EXPECT_EQ(chunk.run(plugin), kFrames);
            EXPECT_EQ(chunk.samples[0], 7);
        }
        EXPECT_FALSE(isMemoryCopy(copy)) << index;
    }
}

TEST(DspPluginTest, CopiesNeedNoTemporaryFolderNotEvenOneMountedNoexec) {
    test::TempDir dir;
    const std::string folder = dir.file("noexec");
    fs::create_directory(folder);
    if (::mount("tmpfs", folder.c_str(), "tmpfs", MS_NOEXEC | MS_NOSUID | MS_NODEV, "size=1m") != 0)
        GTEST_SKIP() << "a noexec folder cannot be mounted here: " << std::strerror(errno);
    const char* oldTmp = std::getenv("TMPDIR");
    const std::string saved = oldTmp != nullptr ? oldTmp : "";
    ::setenv("TMPDIR", folder.c_str(), 1);
    {
        DspPlugin plugin(kCounterPlugin, 0);
        EXPECT_TRUE(plugin.hasModule());
        Chunk chunk;
        chunk.run(plugin);
        EXPECT_EQ(chunk.samples[0], 1);
        EXPECT_TRUE(fs::is_empty(folder)) << "nothing is left there, even while loaded";
    }
    if (oldTmp != nullptr)
        ::setenv("TMPDIR", saved.c_str(), 1);
    else
        ::unsetenv("TMPDIR");
    ::umount(folder.c_str());
}

TEST(DspPluginTest, AModuleClaimingMoreThanTheBufferHoldsIsCutToTwiceTheFramesGiven) {
    DspPlugin greedy(kCounterPlugin, 1);
    ASSERT_TRUE(greedy.hasModule());
    Chunk chunk;
    for (int32_t i = 0; i < kFrames; ++i) chunk.samples[2 * i] = static_cast<int16_t>(i);
    EXPECT_EQ(chunk.run(greedy), 2 * kFrames);
    EXPECT_EQ(chunk.samples[2 * 9], 4);  // frame 9 of the doubled chunk is frame 4
    EXPECT_EQ(greedy.modifySamples(chunk.samples.data(), 0), 0);
}

TEST(PluginListsTest, DescribesPluginsAndTheirModules) {
    std::vector<PluginChoice> list;
    EXPECT_TRUE(addPluginToLists(kCounterPlugin, list));
    EXPECT_TRUE(addPluginToLists(kRecorderPlugin, list));  // the older export name
    ASSERT_EQ(list.size(), 2u);
    EXPECT_EQ(list[0].description, "Test counter");
    EXPECT_EQ(list[0].path, kCounterPlugin);
    EXPECT_EQ(list[1].description, "Test recorder");

    std::vector<std::string> modules{"(previous)"};
    EXPECT_TRUE(listModules(kCounterPlugin, modules));
    EXPECT_EQ(modules, (std::vector<std::string>{"(previous)", "Counter", "Greedy"}));
}

TEST(PluginListsTest, ScansOnlyDspFilesInNameOrderAndSkipsOtherLibraries) {
    const std::vector<PluginChoice> found = scanPlugins({SPINLOREX_TEST_PLUGIN_DIR});
    ASSERT_EQ(found.size(), 2u);  // dsp_test_not_a_plugin.so is skipped
    EXPECT_EQ(found[0].path, kCounterPlugin);
    EXPECT_EQ(found[1].path, kRecorderPlugin);

    test::TempDir dir;
    fs::copy_file(kCounterPlugin, dir.file("dsp_b.so"));
    fs::copy_file(kCounterPlugin, dir.file("dsp_a.so"));
    fs::copy_file(kCounterPlugin, dir.file("counter.so"));
    fs::copy_file(kCounterPlugin, dir.file("dsp_c.so.1"));
    fs::copy_file(kCounterPlugin, dir.file("DSP_d.so"));
    fs::create_directory(dir.file("dsp_folder.so"));
    EXPECT_EQ(pluginFiles(dir.path().string()),
              (std::vector<std::string>{dir.file("dsp_a.so"), dir.file("dsp_b.so")}));
    EXPECT_TRUE(pluginFiles(dir.file("missing")).empty());
}

TEST(PluginListsTest, FoldersComeInOrderOnceEachAndOnlyWhenTheyExist) {
    test::TempDir dir;
    const fs::path home = dir.path() / "music", user = dir.path() / "user",
                   prefix = dir.path() / "usr";
    const fs::path userPlugins = user / ".local/lib/spinlorex/plugins";
    const fs::path installed = prefix / "lib/spinlorex/plugins";
    for (const fs::path& p : {home, userPlugins, installed, prefix / "bin"})
        fs::create_directories(p);
    test::ScopedEnv homeEnv("HOME", user.string());

    // No "plugins" folder in the home folder yet.
    EXPECT_EQ(pluginFolders(home.string(), (prefix / "bin").string()),
              (std::vector<std::string>{home.string(), userPlugins.string(), installed.string()}));
    fs::create_directory(home / "plugins");
    EXPECT_EQ(pluginFolders(home.string(), (prefix / "bin").string()),
              (std::vector<std::string>{home.string(), (home / "plugins").string(),
                                        userPlugins.string(), installed.string()}));
    // A home folder that is also the installed folder is searched once.
    EXPECT_EQ(pluginFolders(installed.string(), (prefix / "bin").string()),
              (std::vector<std::string>{installed.string(), userPlugins.string()}));

    // Programs in the build tree also search the shipped effects built there; others not.
    const std::string buildPlugins =
        fs::path(SPINLOREX_BUILD_PLUGIN_DIR).lexically_normal().string();
    // (A folder of the tree without the installed layout beside it, as the tool's.)
    const fs::path inTree = fs::read_symlink("/proc/self/exe").parent_path() / "tool";
    const std::vector<std::string> fromBuild = pluginFolders("", inTree.string());
    EXPECT_NE(std::find(fromBuild.begin(), fromBuild.end(), buildPlugins), fromBuild.end());
    const std::vector<std::string> installedOnly = pluginFolders("", (prefix / "bin").string());
    EXPECT_EQ(std::find(installedOnly.begin(), installedOnly.end(), buildPlugins),
              installedOnly.end());
    EXPECT_EQ(scanPlugins(fromBuild).back().description, "Spinlorex effects");
}

}  // namespace
}  // namespace spinlorex
