// spinlorex-tool scan and search as a user runs them: a disc scanned into a home folder's
// search file, then searched.

#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>

#include <taglib/id3v2tag.h>
#include <taglib/mpegfile.h>
#include <taglib/textidentificationframe.h>

#include <vector>

#include "library/TagCache.h"
#include "support/Files.h"
#include "tools/synth/Synth.h"

namespace spinlorex {
namespace {

struct ToolRun {
    int status = -1;
    std::string out;
};

ToolRun tool(const std::string& arguments) {
    ToolRun run;
    const std::string command = std::string(SPINLOREX_TOOL_PATH) + " " + arguments + " 2>/dev/null";
    FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr) return run;
    char buffer[4096];
    size_t got = 0;
    while ((got = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) run.out.append(buffer, got);
    const int status = pclose(pipe);
    run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return run;
}

std::string quoted(const std::string& s) { return "'" + s + "'"; }

TEST(ScanCommand, ADiscScannedThenSearched) {
    test::TempDir dir;
    const auto put = [&](const std::string& relative, size_t size) {
        std::filesystem::create_directories((dir.path() / relative).parent_path());
        test::writeFile(dir.file(relative), test::Bytes(size, 'x'));
    };
    put("disc/Music/Daft Punk - One.mp3", 100);
    put("disc/Music/Some_Artist - Two.wav", 200);
    put("disc/Music/notes.txt", 1);
    put("disc/Odd, = : dir/(DJ X) Three,4.mp3", 7);
    const std::string home = quoted(dir.file("home"));
    const std::string disc = quoted(dir.file("disc"));

    ToolRun scan = tool("scan --home " + home + " --cd Rock --mp3 " + disc);
    EXPECT_EQ(scan.status, 0);
    EXPECT_EQ(scan.out, "0 lines replaced, 2 files found\n");
    const test::Bytes written = test::readFile(dir.file("home/mp3DataBase.txt"));
    EXPECT_EQ(std::string(written.begin(), written.end()),
              "Rock=/Music/Daft Punk - One.mp3,100\r\nRock=/Odd, = : dir/(DJ X) Three,4.mp3,7\r\n");
    // Scanned again under the same name (WAV files too), the disc's lines are replaced.
    scan = tool("scan --home " + home + " --cd Rock " + disc);
    EXPECT_EQ(scan.status, 0);
    EXPECT_EQ(scan.out, "2 lines replaced, 3 files found\n");

    EXPECT_EQ(tool("search --home " + home + " daft three").out,
              "Three,4\tDJ X\tRock\t/Odd, = : dir\nOne\tDaft Punk\tRock\t/Music\n");
    EXPECT_EQ(tool("search --home " + home + " '\"punk - one\"'").out,
              "One\tDaft Punk\tRock\t/Music\n");
    const ToolRun all = tool("search --home " + home);
    EXPECT_EQ(all.status, 0);
    EXPECT_EQ(all.out,
              "Three,4\tDJ X\tRock\t/Odd, = : dir\nTwo.wav\tSome Artist\tRock\t/Music\nOne\tDaft "
              "Punk\tRock\t/Music\n");

    // Refusals: a name that would break its lines, a disc that is not a folder, no file.
    EXPECT_EQ(tool("scan --home " + home + " --cd 'A=B' " + disc).status, 2);
    EXPECT_EQ(tool("scan --home " + home + " --cd Pop " + quoted(dir.file("none"))).status, 2);
    EXPECT_EQ(tool("scan --home " + home + " --cd Pop").status, 2);
    EXPECT_EQ(tool("search --home " + quoted(dir.file("elsewhere")) + " x").status, 1);
    EXPECT_EQ(tool("search --home " + home + " daft").out,
              "One\tDaft Punk\tRock\t/Music\n");  // all still there
}

// The precise form over the lines and the tags the track store keeps of their files.
TEST(ScanCommand, APreciseSearchReadsTheTagsOfTheStore) {
    test::TempDir dir;
    const std::string home = dir.file("home");
    std::filesystem::create_directories(home);
    std::string lines;
    std::vector<std::string> paths;
    const auto track = [&](const std::string& name, const char* artist, const char* bpm) {
        const std::string path = dir.file(name);
        ASSERT_TRUE(synth::writeMp3(path, synth::render({.seconds = 1}), 44100, 2, 128));
        if (artist != nullptr) {
            TagLib::MPEG::File file(path.c_str());
            file.ID3v2Tag(true)->setArtist(artist);
            file.ID3v2Tag()->setTitle(name.substr(0, name.size() - 4));
            auto* tempo = new TagLib::ID3v2::TextIdentificationFrame("TBPM", TagLib::String::UTF8);
            tempo->setText(bpm);
            file.ID3v2Tag()->addFrame(tempo);
            ASSERT_TRUE(file.save());
        }
        lines += "/:" + path + "," + std::to_string(std::filesystem::file_size(path)) + "\r\n";
        paths.push_back(path);
    };
    track("Da Funk.mp3", "Daft Punk", "124");
    track("Slow.mp3", "Daft Punk", "100");
    track("Daft Punk - Live.mp3", nullptr, nullptr);
    test::writeFile(home + "/mp3DataBase.txt", test::Bytes(lines.begin(), lines.end()));
    {
        TrackStore store;
        store.open(home);
        TagCache cache;
        cache.open(home, store.tagWriter());
        cache.request(paths);
        cache.flush();
        store.flush();
    }
    const std::string folder = dir.path().string();
    EXPECT_EQ(tool("search --home " + quoted(home) + " 'artist:\"daft punk\" bpm:120-130'").out,
              "Da Funk\tDaft Punk\t\t" + folder + "\n");
    EXPECT_EQ(tool("search --home " + quoted(home) + " 'artist:daft -slow'").out,
              "Live\tDaft Punk\t\t" + folder + "\nDa Funk\tDaft Punk\t\t" + folder + "\n");
}

}  // namespace
}  // namespace spinlorex
