// spinlorex-tool commands stopped by the signals a terminal or a session sends: they end
// early, in order, with their files whole.

#include <gtest/gtest.h>

#include <signal.h>
#include <sys/wait.h>

#include <string>
#include <vector>

#include "support/ChildProcess.h"
#include "support/DeckHarness.h"
#include "support/Files.h"
#include "support/WavFile.h"
#include "tools/synth/Synth.h"

namespace spinlorex {
namespace {

TEST(ToolStop, APlayThatIsToldToStopFinishesItsRecording) {
    test::TempDir dir;
    const std::string track = dir.file("t.wav");
    ASSERT_TRUE(synth::writeWav(track, synth::render({.bpm = 120, .seconds = 30}), 44100, 2, 16));
    for (const int signal : {SIGHUP, SIGTERM}) {
        SCOPED_TRACE(signal);
        const std::string mix = dir.file("mix" + std::to_string(signal) + ".wav");
        const pid_t tool = test::startProgram(
            {SPINLOREX_TOOL_PATH, "play", "--output-mode", "1", "--record", mix, track},
            {{"SPINLOREX_AUDIO", "null"}}, dir.file("tool.log"));
        ASSERT_GT(tool, 0);
        // Recording: the file already says so.
        uint32_t seen = 0;
        ASSERT_TRUE(test::waitFor([&] { return (seen = test::readWav(mix).dataSize) > 0; }, 20));
        ASSERT_EQ(::kill(tool, signal), 0);
        EXPECT_EQ(test::waitChild(tool), 130);
        // Finished: whole, with everything heard up to the stop.
        const test::WavFile wav = test::readWav(mix);
        EXPECT_TRUE(wav.valid);
        EXPECT_GE(wav.dataSize, seen);
    }
}

// Text lines of `text` holding `word`.
int linesWith(const test::Bytes& text, const std::string& word) {
    int n = 0;
    const std::string s(text.begin(), text.end());
    for (size_t at = s.find(word); at != std::string::npos; at = s.find(word, at + 1)) ++n;
    return n;
}

TEST(ToolStop, AnAnalysisOnSeveralThreadsStopsBetweenFiles) {
    test::TempDir dir;
    const std::string track = dir.file("t.wav");
    ASSERT_TRUE(synth::writeWav(track, synth::render({.bpm = 120, .seconds = 60}), 44100, 2, 16));
    std::vector<std::string> argv = {SPINLOREX_TOOL_PATH, "analyze", "--jobs", "2"};
    constexpr int kFiles = 400;
    for (int i = 0; i < kFiles; ++i) argv.push_back(track);
    const std::string log = dir.file("analyze.log");
    const pid_t tool = test::startProgram(argv, {}, log);
    ASSERT_GT(tool, 0);
    ASSERT_TRUE(test::waitFor([&] { return linesWith(test::readFile(log), "\"path\"") > 0; }, 60));
    ASSERT_EQ(::kill(tool, SIGTERM), 0);
    EXPECT_EQ(test::waitChild(tool), 130);
    // Ended early, every line it printed whole.
    const test::Bytes out = test::readFile(log);
    EXPECT_LT(linesWith(out, "\"path\""), kFiles);
    EXPECT_EQ(linesWith(out, "\"path\""), linesWith(out, "\"loudnessPeak\""));
}

}  // namespace
}  // namespace spinlorex
