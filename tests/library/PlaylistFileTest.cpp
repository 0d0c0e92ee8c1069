// Naming tracks from file names, and playlist files read and written.

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "library/PlaylistFile.h"
#include "library/TrackDatabase.h"
#include "library/TrackNaming.h"
#include "support/Files.h"

namespace spinlorex {
namespace {

using Paths = std::vector<std::string>;

std::string text(const test::Bytes& bytes) { return std::string(bytes.begin(), bytes.end()); }
test::Bytes bytes(const std::string& s) { return test::Bytes(s.begin(), s.end()); }

TEST(TrackNaming, SplitsArtistAndTitleInEveryForm) {
    const struct {
        const char* name;
        ArtistTitle expected;
    } cases[] = {
        {"Some_Artist - Some Title.mp3", {"Some Artist", "Some Title"}},
        {"_Artist_-_Title.MP3", {"Artist", "Title"}},
        {"Artist - Title  .mp3", {"Artist", "Title  "}},  // the title's own end spaces stay
        {"(DJ X) Track.mp3", {"DJ X", "Track"}},
        {"( DJ X )   Track", {"DJ X", "Track"}},
        {"(Artist", {"Artist", ""}},
        {"No dash here.mp3", {"", "No dash here"}},
        {"Artist - Title.wav", {"Artist", "Title.wav"}},  // only ".mp3" is cut
        {"   .mp3", {"", ".mp3"}},                        // four characters are not cut
        {"A-B-C.mp3", {"A", "B-C"}},
        {"", {"", ""}},
    };
    for (const auto& c : cases) EXPECT_EQ(splitArtistTitle(c.name), c.expected) << c.name;

    EXPECT_EQ(fileNameOf("C:\\Music\\a.mp3"), "a.mp3");
    EXPECT_EQ(fileNameOf("/music/mixed\\b.mp3"), "b.mp3");
    EXPECT_EQ(fileNameOf("dir/sub/c.wav"), "c.wav");
    EXPECT_EQ(fileNameOf("plain.mp3"), "plain.mp3");
}

TEST(PlaylistText, ReadsM3uAndPlsAsWrittenWhateverTheLineEnds) {
    EXPECT_EQ(parsePlaylistText("#EXTM3U\n#EXTINF:123,A - B\na.mp3\n\n#EXTINF:1,C\r\nb.mp3\rc.mp3"),
              (Paths{"a.mp3", "b.mp3", "c.mp3"}));
    EXPECT_EQ(parsePlaylistText("a.mp3\r\nb.mp3\r\n"), parsePlaylistText("a.mp3\nb.mp3\n"));
    EXPECT_EQ(parsePlaylistText("a.mp3\rb.mp3\r"), parsePlaylistText("a.mp3\nb.mp3\n"));
    EXPECT_EQ(parsePlaylistText("\xEF\xBB\xBF/m/\xC3\xA9t\xC3\xA9.mp3\n"),
              Paths{"/m/\xC3\xA9t\xC3\xA9.mp3"});

    EXPECT_EQ(parsePlaylistText("[playlist]\nFile1=a.mp3\nNumberOfEntries=1\n"), Paths{"a.mp3"});
    EXPECT_EQ(parsePlaylistText("[playlist]\nNumberOfEntries=1\nFile1=a.mp3\n"), Paths{});
    // Every keyed line of the section is a path; lines before the section are M3U.
    EXPECT_EQ(parsePlaylistText(
                  "before.mp3\n[PLAYLIST]\nFile1=C:\\x.mp3\nTitle1=Some Title\nLength1=200\n"
                  "no key\nFile2=a=b.mp3\nnumberofentries=3\nFile3=late.mp3"),
              (Paths{"before.mp3", "C:\\x.mp3", "Some Title", "200", "a=b.mp3"}));
    EXPECT_EQ(parsePlaylistText(" [playlist]\nFile1=x.mp3"), (Paths{" [playlist]", "File1=x.mp3"}));
}

class PlaylistFileTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(db.open(dir.path().string())); }
    test::TempDir dir;
    TrackDatabase db;
};

TEST_F(PlaylistFileTest, PathsResolveAgainstThePlaylistsFolderAndFindTheirRecords) {
    std::filesystem::create_directories(dir.path() / "lists" / "tracks");
    const std::string here = dir.file("lists/tracks/Artist - Here.mp3");
    test::writeFile(here, test::Bytes(1234, 0));
    const std::string absolute = dir.file("Abs.wav");
    test::writeFile(absolute, test::Bytes(77, 0));
    const std::string list =
        test::writeFile(dir.file("lists/set.m3u8"),
                        bytes("tracks/Artist - Here.mp3\ntracks\\Artist - Here.mp3\n" + absolute +
                              "\nC:\\Music\\Gone - Away.mp3\nmissing.mp3\n"));

    const std::vector<TrackEntry> entries = readPlaylistFile(list, db);
    ASSERT_EQ(entries.size(), 5u);
    EXPECT_EQ(entries[0].path, here);
    EXPECT_EQ(entries[1].path, here);  // written with Windows separators
    EXPECT_EQ(entries[0].record, entries[1].record);
    EXPECT_EQ(entries[0].record->fileSize, 1234u);
    EXPECT_EQ(entries[0].artist, "Artist");
    EXPECT_EQ(entries[0].title, "Here");
    EXPECT_EQ(entries[2].path, absolute);
    EXPECT_EQ(entries[2].record->fileSize, 77u);
    // Files that are not there keep their path as written, and size 0 in their key.
    EXPECT_EQ(entries[3].path, "C:\\Music\\Gone - Away.mp3");
    EXPECT_EQ(entries[3].record->name, "Gone - Away.mp3");
    EXPECT_EQ(entries[3].record->fileSize, 0u);
    EXPECT_EQ(entries[3].artist, "Gone");
    EXPECT_EQ(entries[4].path, "missing.mp3");

    EXPECT_TRUE(readPlaylistFile(dir.file("absent.m3u"), db).empty());
    EXPECT_TRUE(readPlaylistFile(dir.path().string(), db).empty());  // a folder reads as nothing
}

TEST_F(PlaylistFileTest, WritesM3uWithLfAndTheHistoryWithCrLf) {
    const std::string m3u = dir.file("out.m3u");
    ASSERT_TRUE(writeTextFile(m3u, m3uText({"/a.mp3", "/b c.wav"})));
    EXPECT_EQ(text(test::readFile(m3u)), "/a.mp3\n/b c.wav\n");
    ASSERT_TRUE(writeTextFile(m3u, historyText({"/x.mp3"})));  // replaced
    EXPECT_EQ(text(test::readFile(m3u)), "/x.mp3\r\n");
    ASSERT_TRUE(writeTextFile(m3u, historyText({})));
    EXPECT_TRUE(test::readFile(m3u).empty());

    EXPECT_FALSE(writeTextFile(dir.file("no/such/folder.m3u"), "x"));
    if (std::filesystem::exists("/dev/full")) {
        EXPECT_FALSE(writeTextFile("/dev/full", "a full disk"));
    }
}

}  // namespace
}  // namespace spinlorex
