// spinlorex-tool analyze as a user runs it: the same line for the same file alone, in
// any batch, on any number of threads and on a busy machine; the database it fills.

#include <gtest/gtest.h>

#include <sys/wait.h>

#include <atomic>
#include <cstdio>
#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include <taglib/infotag.h>
#include <taglib/wavfile.h>

#include "library/TrackDatabase.h"
#include "library/TrackStore.h"
#include "support/Files.h"
#include "tools/synth/Synth.h"

namespace spinlorex {
namespace {

struct ToolRun {
    std::vector<std::string> lines;
    int exitCode = -1;
};

ToolRun analyze(const std::string& arguments) {
    ToolRun run;
    const std::string command =
        std::string(SPINLOREX_TOOL_PATH) + " analyze " + arguments + " 2>/dev/null";
    FILE* out = popen(command.c_str(), "r");
    char line[2048];
    while (out != nullptr && std::fgets(line, sizeof line, out) != nullptr)
        run.lines.emplace_back(line);
    const int status = out != nullptr ? pclose(out) : -1;
    run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return run;
}

std::string shellArg(const std::string& path) { return "'" + path + "'"; }

// The value of `"key":` in a JSON line, as text.
std::string field(const std::string& line, const std::string& key) {
    const size_t at = line.find("\"" + key + "\":");
    if (at == std::string::npos) return {};
    const size_t from = at + key.size() + 3;
    return line.substr(from, line.find_first_of(",}", from) - from);
}

// Keeps every core busy while it lives, as other programs would.
class BusyMachine {
public:
    BusyMachine() {
        const unsigned n = std::max(2u, std::thread::hardware_concurrency());
        for (unsigned i = 0; i < n; ++i)
            spinners_.emplace_back([this] {
                volatile uint64_t x = 0;
                while (!stop_.load(std::memory_order_relaxed)) x = x + 1;
            });
    }
    ~BusyMachine() {
        stop_ = true;
        for (std::thread& t : spinners_) t.join();
    }

private:
    std::atomic<bool> stop_{false};
    std::vector<std::thread> spinners_;
};

class AnalyzeCommandTest : public ::testing::Test {
protected:
    void SetUp() override {
        a = test::makeMp3({.bpm = 124, .seconds = 40, .seed = 2, .introBeats = 16});
        b = dir.file("b.wav");
        ASSERT_TRUE(synth::writeWav(
            b,
            synth::render(
                {.bpm = 128, .seconds = 30, .introBeats = 24, .introBpm = 120, .introKick = true}),
            44100, 2, 16));
        c = dir.file("c.wav");
        ASSERT_TRUE(
            synth::writeWav(c, synth::render({.bpm = 98, .seconds = 25, .seed = 7}), 44100, 2, 16));
    }

    test::TempDir dir;
    std::string a, b, c;
};

TEST_F(AnalyzeCommandTest, TheSameFileGivesTheSameLineAloneInAnyBatchAndOnABusyMachine) {
    std::map<std::string, std::string> alone;
    for (const std::string& path : {a, b, c}) {
        const ToolRun run = analyze(shellArg(path));
        ASSERT_EQ(run.lines.size(), 1u);
        EXPECT_EQ(run.exitCode, 0);
        alone[path] = run.lines[0];
    }
    EXPECT_EQ(field(alone[a], "status"), "0");
    EXPECT_NEAR(std::stod(field(alone[a], "bpm")), 124.0, 0.3);
    EXPECT_NEAR(std::stod(field(alone[b], "bpm")), 128.0, 0.3);  // not its 120 BPM intro
    EXPECT_NEAR(std::stod(field(alone[c], "bpm")), 98.0, 0.3);
    // The grid's tempo is the body's too, and where the analyser agrees it is the one shown.
    EXPECT_NEAR(std::stod(field(alone[a], "gridBpm")), 124.0, 0.01);
    EXPECT_NEAR(std::stod(field(alone[b], "gridBpm")), 128.0, 0.01);
    EXPECT_EQ(field(alone[b], "shownBpm"), field(alone[b], "gridBpm"));

    const auto expectSame = [&](const std::vector<std::string>& order, const std::string& options) {
        std::string arguments = options;
        for (const std::string& path : order) arguments += " " + shellArg(path);
        const ToolRun run = analyze(arguments);
        EXPECT_EQ(run.exitCode, 0);
        ASSERT_EQ(run.lines.size(), order.size()) << arguments;
        // Lines come in the order of the arguments, whichever thread finished first.
        for (size_t i = 0; i < order.size(); ++i)
            EXPECT_EQ(run.lines[i], alone[order[i]]) << arguments;
    };
    expectSame({a, b, c}, "--jobs 1");
    expectSame({c, b, a}, "--jobs 2");
    expectSame({b, c, a, b}, "--jobs 3");
    {
        BusyMachine busy;
        expectSame({c, a, b}, "--jobs 2");
    }
}

TEST_F(AnalyzeCommandTest, TheDatabaseGetsTheMeasuresButKeepsATempoSetByHand) {
    test::TempDir home;
    {
        TrackDatabase database;
        ASSERT_TRUE(database.open(home.path().string()));
        TrackRecord* record =
            database.findOrAdd(c, static_cast<uint32_t>(std::filesystem::file_size(c)));
        record->bpm = 100.0f;
        database.acquireAnalysis(record)->bpmConfidence = TrackAnalysis::kHandSetConfidence;
        database.releaseAnalysis(record);
        record->lastUsedDate = 0;
    }
    const ToolRun run =
        analyze("--db " + shellArg(home.path().string()) + " " + shellArg(b) + " " + shellArg(c));
    ASSERT_EQ(run.lines.size(), 2u);
    EXPECT_EQ(run.exitCode, 0);

    TrackDatabase database;
    ASSERT_TRUE(database.open(home.path().string()));
    TrackRecord* measured =
        database.findOrAdd(b, static_cast<uint32_t>(std::filesystem::file_size(b)));
    EXPECT_EQ(std::to_string(measured->currentBpm()).substr(0, 5),
              field(run.lines[0], "bpm").substr(0, 5));
    EXPECT_EQ(measured->lastUsedDate, 0u);  // analysed, not played
    const TrackAnalysis* m = database.acquireAnalysis(measured);
    EXPECT_EQ(std::to_string(m->bpmConfidence), field(run.lines[0], "bpmConfidence"));
    EXPECT_EQ(std::to_string(m->loudnessPeak), field(run.lines[0], "loudnessPeak"));
    EXPECT_GT(m->lastStrongBeat, 0.9f);

    TrackRecord* handSet =
        database.findOrAdd(c, static_cast<uint32_t>(std::filesystem::file_size(c)));
    EXPECT_FLOAT_EQ(handSet->currentBpm(), 100.0f);
    const TrackAnalysis* h = database.acquireAnalysis(handSet);
    EXPECT_EQ(h->bpmConfidence, TrackAnalysis::kHandSetConfidence);
    EXPECT_EQ(std::to_string(h->lastStrongBeatLevel), field(run.lines[1], "lastStrongBeatLevel"));

    // The grids went into the track store beside the database, with the tempo printed.
    TrackStore store;
    store.open(home.path().string());
    store.flush();
    store.takeLoaded();
    const auto grid = store.grid(measured->name, measured->fileSize);
    ASSERT_NE(grid, nullptr);
    EXPECT_NEAR(grid->mainBpm(), std::stod(field(run.lines[0], "gridBpm")), 0.01);
}

// The key in Camelot and the tags beside the measures; a file without either prints them
// empty.
TEST_F(AnalyzeCommandTest, PrintsTheKeyAndTheTags) {
    const std::string tagged = dir.file("tagged.wav");
    ASSERT_TRUE(synth::writeWav(tagged, synth::render({.bpm = 124, .seconds = 30, .key = 22}),
                                44100, 2, 16));
    {
        TagLib::RIFF::WAV::File file(tagged.c_str());
        file.InfoTag()->setArtist("Daft \"Punk\"");
        file.InfoTag()->setYear(1997);
        ASSERT_TRUE(file.save(TagLib::RIFF::WAV::File::Info));
    }
    const ToolRun run = analyze(shellArg(tagged) + " " + shellArg(c));
    ASSERT_EQ(run.lines.size(), 2u);
    EXPECT_EQ(field(run.lines[0], "key"), "\"8A\"");  // A minor
    EXPECT_NE(run.lines[0].find(R"("tags":{"artist":"Daft \"Punk\"","title":"","album":"")"),
              std::string::npos)
        << run.lines[0];
    EXPECT_EQ(field(run.lines[0], "year"), "1997");
    EXPECT_EQ(field(run.lines[1], "artist"), "\"\"");
}

TEST_F(AnalyzeCommandTest, AFileThatCannotBeReadGetsItsLineAndTheStatusOfTheRun) {
    const std::string missing = dir.file("missing.mp3");
    const ToolRun run = analyze("--jobs 2 " + shellArg(missing) + " " + shellArg(c));
    ASSERT_EQ(run.lines.size(), 2u);
    EXPECT_EQ(field(run.lines[0], "status"), "156");
    EXPECT_EQ(field(run.lines[0], "duration"), "-1");
    EXPECT_EQ(field(run.lines[1], "status"), "0");
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_EQ(analyze("--jobs 0 " + shellArg(c)).exitCode, 2);
}

// What the tool says on both streams, and how it ends.
std::pair<int, std::string> analyzeWithMessages(const std::string& arguments) {
    const std::string command =
        std::string(SPINLOREX_TOOL_PATH) + " analyze " + arguments + " 2>&1";
    std::string output;
    FILE* out = popen(command.c_str(), "r");
    char buffer[512];
    while (out != nullptr && std::fgets(buffer, sizeof buffer, out) != nullptr) output += buffer;
    const int status = out != nullptr ? pclose(out) : -1;
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, output};
}

TEST(AnalyzeCommand, AFolderWhereNothingCanBeStoredFailsWithAMessage) {
    test::TempDir dir;
    const std::string track = dir.file("t.wav");
    ASSERT_TRUE(synth::writeWav(track, synth::render({.bpm = 120, .seconds = 4}), 44100, 2, 16));
    const std::string absent = dir.file("no-such-folder");
    const auto [status, output] = analyzeWithMessages("--db " + absent + " " + track);
    EXPECT_EQ(status, 1);
    EXPECT_NE(output.find("The internal database cannot be written in " + absent),
              std::string::npos)
        << output;
    EXPECT_EQ(output.find("\"path\""), std::string::npos) << "nothing analysed";

    // A damaged file is set aside; the track is analysed and stored in the new one.
    test::writeFile(dir.file(TrackDatabase::kFileName), test::Bytes(40, 0xEE));
    const auto [repairedStatus, repaired] =
        analyzeWithMessages("--db " + dir.path().string() + " " + track);
    EXPECT_EQ(repairedStatus, 0) << repaired;
    EXPECT_NE(repaired.find("the damaged file was set aside as"), std::string::npos) << repaired;
    TrackDatabase db;
    ASSERT_TRUE(db.open(dir.path().string()));
    EXPECT_EQ(db.notice(), "");
    ASSERT_FALSE(db.records().empty());
    EXPECT_EQ(db.records().front().name, "t.wav");
}

}  // namespace
}  // namespace spinlorex
