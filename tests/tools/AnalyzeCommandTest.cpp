// spinlorex-tool analyze --db: where the results cannot be stored it says so and fails; a
// damaged database is set aside and the analysis goes on.

#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cstdio>
#include <memory>
#include <string>

#include "library/TrackDatabase.h"
#include "support/Files.h"
#include "tools/synth/Synth.h"

namespace spinlorex {
namespace {

struct ToolRun {
    int status = -1;
    std::string output;  // stdout and stderr
};

ToolRun analyze(const std::string& arguments) {
    ToolRun run;
    const std::string command =
        std::string(SPINLOREX_TOOL_PATH) + " analyze " + arguments + " 2>&1";
    FILE* out = popen(command.c_str(), "r");
    if (out == nullptr) return run;
    char buffer[512];
    while (std::fgets(buffer, sizeof buffer, out) != nullptr)
        run.output += buffer;
    const int status = pclose(out);
    run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return run;
}

TEST(AnalyzeCommand, AFolderWhereNothingCanBeStoredFailsWithAMessage) {
    test::TempDir dir;
    const std::string track = dir.file("t.wav");
    ASSERT_TRUE(synth::writeWav(track, synth::render({.bpm = 120, .seconds = 4}), 44100, 2, 16));
    const std::string absent = dir.file("no-such-folder");
    const ToolRun run = analyze("--db " + absent + " " + track);
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.output.find("The internal database cannot be written in " + absent),
              std::string::npos)
        << run.output;
    EXPECT_EQ(run.output.find("\"path\""), std::string::npos) << "nothing analysed";

    // A damaged file is set aside; the track is analysed and stored in the new one.
    test::writeFile(dir.file(TrackDatabase::kFileName), test::Bytes(40, 0xEE));
    const ToolRun repaired = analyze("--db " + dir.path().string() + " " + track);
    EXPECT_EQ(repaired.status, 0) << repaired.output;
    EXPECT_NE(repaired.output.find("the damaged file was set aside as"), std::string::npos)
        << repaired.output;
    TrackDatabase db;
    ASSERT_TRUE(db.open(dir.path().string()));
    EXPECT_EQ(db.notice(), "");
    ASSERT_FALSE(db.records().empty());
    EXPECT_EQ(db.records().front().name, "t.wav");
}

}  // namespace
}  // namespace spinlorex
