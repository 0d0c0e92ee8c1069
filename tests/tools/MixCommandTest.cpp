// spinlorex-tool mix end to end: two generated tracks with known beat grids, the desk's
// automatic mix on virtual time, checked from the printed steps and the written mix.

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <regex>
#include <string>
#include <utility>
#include <vector>

#include "support/DeckHarness.h"
#include "support/Files.h"
#include "support/WavFile.h"
#include "tools/synth/Synth.h"

namespace spinlorex {
namespace {

struct Step {
    int tick, step, crossfader;
    double position1, position2;
    int pitch1, pitch2, shift;
};

std::vector<Step> runMix(const std::string& arguments, std::vector<std::string>* loads = nullptr) {
    std::vector<Step> steps;
    const std::string command = std::string(SPINLOREX_TOOL_PATH) + " mix " + arguments + " 2>&1";
    std::unique_ptr<FILE, decltype(&pclose)> out(popen(command.c_str(), "r"), &pclose);
    char line[512];
    const std::regex pattern(
        R"(tick\s+(\d+)\s+step\s+(\d+)\s+crossfader\s+(\d+)\s+deck1 (-?[\d.]+) pitch (\d+)\s+deck2 (-?[\d.]+) pitch (\d+)\s+shift (-?\d+))");
    while (out && std::fgets(line, sizeof line, out.get()) != nullptr) {
        if (loads != nullptr && std::strncmp(line, "load ", 5) == 0)
            loads->emplace_back(line + 5, std::strcspn(line + 5, "\n"));
        std::cmatch m;
        if (std::regex_search(line, m, pattern))
            steps.push_back({std::stoi(m[1]), std::stoi(m[2]), std::stoi(m[3]), std::stod(m[4]),
                             std::stod(m[6]), std::stoi(m[5]), std::stoi(m[7]), std::stoi(m[8])});
    }
    return steps;
}

// How far apart, in heard milliseconds, the two decks' beats are: each position against
// its track's beat grid (both tracks start on a beat).
double beatOffsetMs(const Step& s, double seconds, double bpm1, double bpm2) {
    const double t1 = 60.0 / bpm1, t2 = 60.0 / bpm2;
    const double phase1 = std::fmod(s.position1 * seconds, t1) / t1;
    const double phase2 = std::fmod(s.position2 * seconds, t2) / t2;
    return (std::fmod(phase1 - phase2 + 1.5, 1.0) - 0.5) * t1 * 1000.0;
}

TEST(MixCommand, AnAutomaticMixCrossfadesWithTheBeatsAligned) {
    test::TempDir dir;
    const std::string a = dir.file("a.wav"), b = dir.file("b.wav"), out = dir.file("mix.wav");
    const std::vector<float> trackA = synth::render({.bpm = 124, .seconds = 60, .seed = 1});
    ASSERT_TRUE(synth::writeWav(a, trackA, 44100, 2, 16));
    ASSERT_TRUE(
        synth::writeWav(b, synth::render({.bpm = 128, .seconds = 60, .seed = 2}), 44100, 2, 16));

    const std::vector<Step> steps = runMix("--long-mix 16 " + a + " " + b + " " + out);
    ASSERT_EQ(steps.size(), 32u + 16u);
    for (size_t i = 0; i < steps.size(); ++i) {
        const Step& s = steps[i];
        EXPECT_EQ(s.tick, static_cast<int>(i) + 1);
        // 16 steps of 12 to the middle, held there for 16 more ticks, then 16 steps to deck 2.
        const int expected = i < 32 ? std::min(12 * s.tick, 192) : 12 * (s.tick - 16);
        EXPECT_EQ(s.crossfader, expected) << s.tick;
        // B's pitch was matched to A on load: 124 / 128 of normal speed.
        EXPECT_NEAR(s.pitch2, 4096 * 124 / 128, 4);
        if (s.tick >= 2 && i < 32) {
            EXPECT_LT(std::abs(beatOffsetMs(s, 60, 124, 128)), 10.0) << s.tick;
        }
    }
    EXPECT_LT(steps.back().position1, 0.0);  // A was finished at the end (no playlist)

    // The written mix: A alone at the smooth curve's middle gain (192 of 256) until the mix
    // starts (from its cue point, the first strong beat), then the crossfade, then B alone,
    // ten seconds on.
    const test::WavFile mix = test::readWav(out);
    ASSERT_TRUE(mix.valid);
    std::vector<int16_t> quietA = synth::toPcm16(trackA);
    for (int16_t& v : quietA) v = static_cast<int16_t>((v * 49152) >> 16);
    size_t start = 0;
    while (start < mix.samples.size() && mix.samples[start] == 0) ++start;
    start &= ~size_t{1};
    ASSERT_LT(start + 44100 * 2, mix.samples.size());
    const auto at = std::search(quietA.begin(), quietA.begin() + 44100 * 10,
                                mix.samples.begin() + static_cast<long>(start),
                                mix.samples.begin() + static_cast<long>(start) + 256);
    ASSERT_NE(at, quietA.begin() + 44100 * 10) << "the mix does not start with A";
    EXPECT_TRUE(std::equal(at, at + 44100 * 2, mix.samples.begin() + static_cast<long>(start)));
    const double seconds = static_cast<double>(mix.samples.size() / 2) / 44100.0;
    EXPECT_GT(seconds, 0.8 * 60 + (32 + 16) * 0.2 + 10 - 1);
}

TEST(MixCommand, APlaylistOfThreeTracksPlaysThroughInOrderEachMixBeatAligned) {
    test::TempDir dir;
    const double bpm[] = {120, 124, 128};
    std::vector<std::string> paths;
    std::string arguments = "--long-mix 0";
    for (int i = 0; i < 3; ++i) {
        paths.push_back(dir.file("t" + std::to_string(i + 1) + ".wav"));
        ASSERT_TRUE(synth::writeWav(
            paths.back(), synth::render({.bpm = bpm[i], .seconds = 60, .seed = uint32_t(i + 1)}),
            44100, 2, 16));
        arguments += " " + paths.back();
    }
    const std::string out = dir.file("mix.wav");
    std::vector<std::string> loads;
    const std::vector<Step> steps = runMix(arguments + " " + out, &loads);

    // A on deck 1, B on deck 2 by the automatic-mixing switch, C on deck 1 after the first mix.
    EXPECT_EQ(loads, (std::vector<std::string>{"1 " + paths[0], "2 " + paths[1], "1 " + paths[2]}));
    ASSERT_EQ(steps.size(), 64u);
    for (size_t i = 0; i < steps.size(); ++i) {
        const Step& s = steps[i];
        const bool first = i < 32;
        const int step = static_cast<int>(i % 32) + 1;
        // Towards deck 2 first, then back towards deck 1.
        EXPECT_EQ(s.crossfader, first ? 12 * step : 384 - 12 * step) << s.tick;
        // Deck 1 holds A in the first mix and C in the second; both decks beat together.
        if (step >= 2 && step <= 16) {
            EXPECT_LT(std::abs(beatOffsetMs(s, 60, first ? bpm[0] : bpm[2], bpm[1])), 10.0)
                << s.tick;
        }
    }
    // Each incoming track runs at the tempo of the one it follows.
    EXPECT_NEAR(steps[0].pitch2, 4096 * 120 / 124, 4);
    EXPECT_NEAR(steps[32].pitch1, 4096 * 120 / 128, 4);
    EXPECT_LT(steps[31].position1, 0.05);    // C waits, cued, on the deck A left
    EXPECT_LT(steps.back().position2, 0.0);  // B finished at the end of the second mix

    // The run ends when C has played out: A from its start until the first mix, B until the
    // second, then the rest of C at its pitch.
    const Step& mix1 = steps[0];
    const Step& mix2 = steps[32];
    const double bSeconds = 60.0 * 4096.0 / mix1.pitch2;
    const double secondMix = mix1.position1 * 60.0 + (mix2.position2 - mix1.position2) * bSeconds;
    const double end =
        secondMix + 31 * 0.2 + (1.0 - steps.back().position1) * 60.0 * 4096.0 / mix2.pitch1;
    const test::WavFile mix = test::readWav(out);
    ASSERT_TRUE(mix.valid);
    const double seconds = static_cast<double>(mix.samples.size() / 2) / 44100.0;
    EXPECT_NEAR(seconds, end, 0.5);
}

// Tempi that are no round numbers and first beats at odd fractions of a frame: the mix
// syncs on the tracks' beat grids, so from its fourth step on the beats meet within half a
// millisecond (the analyser's onsets, 36 frames apart, left them up to 1.2 ms apart).
TEST(MixCommand, MixesOnTheBeatGridsMeetTheBeatsWithinHalfAMillisecond) {
    test::TempDir dir;
    const double bpm[] = {122.37, 126.11, 124.53};
    const double start[] = {0.01234, 0.30712, 0.17771};
    std::string arguments = "--long-mix 0";
    for (int i = 0; i < 3; ++i) {
        const std::string path = dir.file("t" + std::to_string(i + 1) + ".wav");
        ASSERT_TRUE(synth::writeWav(
            path,
            synth::render(
                {.bpm = bpm[i], .seconds = 60, .seed = uint32_t(i + 1), .startOffset = start[i]}),
            44100, 2, 16));
        arguments += " " + path;
    }
    const std::vector<Step> steps = runMix(arguments + " " + dir.file("mix.wav"));
    constexpr size_t kTicks = 32;  // 16 steps in, 16 out
    ASSERT_EQ(steps.size(), 2 * kTicks);
    // Where in its beat a deck is heard, in seconds of its track.
    const auto phase = [&start](double position, int track, double bpmOf) {
        const double beat = 60.0 / bpmOf;
        return std::fmod(position * 60.0 - start[track] + 10.0 * beat, beat) / beat;
    };
    for (size_t i = 0; i < steps.size(); ++i) {
        const Step& s = steps[i];
        const bool first = i < kTicks;
        const int tick = static_cast<int>(i % kTicks) + 1;
        if (tick < 4 || tick > static_cast<int>(kTicks) - 4) continue;
        const int one = first ? 0 : 2;  // deck 1's track
        double diff = phase(s.position1, one, bpm[one]) - phase(s.position2, 1, bpm[1]);
        diff -= std::round(diff);
        const double ms = diff * 60.0 / bpm[one] * 4096.0 / s.pitch1 * 1000.0;
        EXPECT_LT(std::fabs(ms), 0.5) << "tick " << s.tick;
    }
}

// The tool's whole output and its exit status.
std::pair<int, std::string> runTool(const std::string& arguments) {
    const std::string command = std::string(SPINLOREX_TOOL_PATH) + " " + arguments + " 2>&1";
    FILE* out = popen(command.c_str(), "r");
    std::string text;
    char buffer[512];
    size_t got = 0;
    while (out != nullptr && (got = std::fread(buffer, 1, sizeof buffer, out)) > 0)
        text.append(buffer, got);
    const int status = out != nullptr ? pclose(out) : -1;
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, text};
}

TEST(MixCommand, APlaylistAmongTheTracksPlaysAsItsTracksAndARefusedOneStopsTheRun) {
    test::TempDir dir;
    std::filesystem::create_directories(dir.path() / "set");
    const std::string a = dir.file("a.wav"), b = dir.file("set/b.wav"), c = dir.file("set/c.wav");
    for (const std::string& path : {a, b, c}) {
        ASSERT_TRUE(synth::writeWav(path, synth::render({.bpm = 124, .seconds = 20, .seed = 3}),
                                    44100, 2, 16));
    }
    // Relative entries, a missing one (skipped as the desk skips it) and a title line.
    const std::string pls =
        "[playlist]\nNumberOfEntries=3\nFile1=b.wav\nTitle1=Bee\n"
        "File2=gone.wav\nFile3=c.wav\n";
    test::writeFile(dir.file("set/set.pls"), test::Bytes(pls.begin(), pls.end()));
    std::vector<std::string> loads;
    runMix("--long-mix 0 " + a + " " + dir.file("set/set.pls") + " " + dir.file("mix.wav"), &loads);
    // C reaches deck 1 once the first mix has ended.
    EXPECT_EQ(loads, (std::vector<std::string>{"1 " + a, "2 " + b, "1 " + c}));

    const std::string binary = dir.file("binary.m3u");
    test::writeFile(binary, test::Bytes{'/', 'a', '.', 'w', 'a', 'v', 0, '\n'});
    const auto [status, output] = runTool("mix " + a + " " + binary + " " + dir.file("no.wav"));
    EXPECT_EQ(status, 1);
    EXPECT_EQ(output, "spinlorex-tool: " + binary + " is not a playlist.\n");
    EXPECT_FALSE(std::filesystem::exists(dir.file("no.wav")));
}

}  // namespace
}  // namespace spinlorex
