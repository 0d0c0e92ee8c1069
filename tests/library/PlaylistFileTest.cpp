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

    EXPECT_EQ(fileNameOf("dir/sub/c.wav"), "c.wav");
    EXPECT_EQ(fileNameOf("plain.mp3"), "plain.mp3");
    EXPECT_EQ(fileNameOf("/music/house/"), "");
    // A Linux name may hold "\\"; in a path written on Windows it separates, mixed with "/".
    EXPECT_EQ(fileNameOf("/music/x\\b.mp3"), "x\\b.mp3");
    EXPECT_EQ(fileNameOf("C:\\Music\\a.mp3"), "a.mp3");
    EXPECT_EQ(fileNameOf("c:/Music\\sub\\a.mp3"), "a.mp3");
    EXPECT_EQ(fileNameOf("\\\\server\\share\\d.mp3"), "d.mp3");
    EXPECT_EQ(fileNameOf("C:\\Music\\"), "");
}

TEST(PlaylistText, ReadsM3uAndPlsAsWrittenWhateverTheLineEnds) {
    EXPECT_EQ(parsePlaylistText("#EXTM3U\n#EXTINF:123,A - B\na.mp3\n\n#EXTINF:1,C\r\nb.mp3\rc.mp3"),
              (Paths{"a.mp3", "b.mp3", "c.mp3"}));
    EXPECT_EQ(parsePlaylistText("a.mp3\r\nb.mp3\r\n"), parsePlaylistText("a.mp3\nb.mp3\n"));
    EXPECT_EQ(parsePlaylistText("a.mp3\rb.mp3\r"), parsePlaylistText("a.mp3\nb.mp3\n"));
    EXPECT_EQ(parsePlaylistText("\xEF\xBB\xBF/m/\xC3\xA9t\xC3\xA9.mp3\n"),
              Paths{"/m/\xC3\xA9t\xC3\xA9.mp3"});

    // PLS: only FileN lines, by N, wherever the count stands (first, last or absent).
    const Paths pls{"C:\\x.mp3", "a=b.mp3", "late.mp3"};
    const std::string files =
        "File2=a=b.mp3\nTitle2=Gamma\nLength2=60\nFILE1=C:\\x.mp3\n"
        "Title1=Some Title\nLength1=200\nno key\nFile=x\nFileX=y\nFile3=";
    EXPECT_EQ(parsePlaylistText("[playlist]\nNumberOfEntries=3\n" + files + "\nfile10=late.mp3"),
              pls);
    EXPECT_EQ(parsePlaylistText("[Playlist]\r\n" + files + "\nFile10=late.mp3\nNumberOfEntries=3"),
              pls);
    EXPECT_EQ(parsePlaylistText("[PLAYLIST]\nFile10=late.mp3\n" + files + "\nVersion=2"), pls);
    // Lines before the section are M3U; " [playlist]" starts none.
    EXPECT_EQ(parsePlaylistText("before.mp3\n[playlist]\nFile1=x.mp3"),
              (Paths{"before.mp3", "x.mp3"}));
    EXPECT_EQ(parsePlaylistText(" [playlist]\nFile1=x.mp3"), (Paths{" [playlist]", "File1=x.mp3"}));
}

class PlaylistFileTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(db.open(dir.path().string())); }
    std::string list(const std::string& name, const std::string& content) {
        return test::writeFile(dir.file(name), bytes(content));
    }
    static std::vector<std::string> paths(const PlaylistRead& read) {
        std::vector<std::string> p;
        for (const PlaylistItem& item : read.items) p.push_back(item.path);
        return p;
    }
    test::TempDir dir;
    TrackDatabase db;
};

// Runs the test from another folder and comes back.
class InFolder {
public:
    explicit InFolder(const std::filesystem::path& folder) : old_(std::filesystem::current_path()) {
        std::filesystem::current_path(folder);
    }
    ~InFolder() { std::filesystem::current_path(old_); }

private:
    std::filesystem::path old_;
};

TEST_F(PlaylistFileTest, EntriesResolveBesideThePlaylistAndFindTheirRecords) {
    std::filesystem::create_directories(dir.path() / "lists" / "tracks");
    std::filesystem::create_directories(dir.path() / "cwd" / "tracks");
    const std::string here = dir.file("lists/tracks/Artist - Here.mp3");
    test::writeFile(here, test::Bytes(1234, 0));
    // Same names in the current folder: decoys a relative entry must not reach.
    test::writeFile(dir.file("cwd/tracks/Artist - Here.mp3"), test::Bytes(99, 0));
    test::writeFile(dir.file("cwd/missing.mp3"), test::Bytes(98, 0));
    const std::string absolute = dir.file("Abs.wav");
    test::writeFile(absolute, test::Bytes(77, 0));
    const std::string playlist =
        list("lists/set.m3u8", "tracks/Artist - Here.mp3\ntracks\\Artist - Here.mp3\n" + absolute +
                                   "\nC:\\Music\\Gone - Away.mp3\nmissing.mp3\n" +
                                   "./tracks/../../Abs.wav\n");

    const InFolder inDecoyFolder(dir.path() / "cwd");
    const PlaylistRead read = readPlaylistItems("../lists/set.m3u8");  // relative, too
    EXPECT_EQ(read.error, "");
    EXPECT_EQ(read.items, (std::vector<PlaylistItem>{{here, 1234},
                                                     {here, 1234},
                                                     {absolute, 77},
                                                     {"C:\\Music\\Gone - Away.mp3", 0},
                                                     {dir.file("lists/missing.mp3"), 0},
                                                     {absolute, 77}}));

    const std::vector<TrackEntry> entries = readPlaylistFile(playlist, db);
    ASSERT_EQ(entries.size(), 6u);
    EXPECT_EQ(entries[0].record, entries[1].record);
    EXPECT_EQ(entries[0].record->fileSize, 1234u);
    EXPECT_EQ(entries[0].artist, "Artist");
    EXPECT_EQ(entries[0].title, "Here");
    EXPECT_EQ(entries[2].record->fileSize, 77u);
    // A file that is not there keeps its row, with size 0 in its key.
    EXPECT_EQ(entries[3].record->name, "Gone - Away.mp3");
    EXPECT_EQ(entries[3].record->fileSize, 0u);
    EXPECT_EQ(entries[3].artist, "Gone");

    // A PLS resolves the same way.
    const std::string pls =
        list("lists/set.pls", "[playlist]\nNumberOfEntries=2\nFile2=" + absolute +
                                  "\nTitle2=Gamma\nFile1=tracks\\Artist - "
                                  "Here.mp3\nLength1=60\n");
    EXPECT_EQ(paths(readPlaylistItems(pls)), (Paths{here, absolute}));
}

TEST_F(PlaylistFileTest, FileUrlsAreDecodedAndOtherSchemesLeftOut) {
    std::filesystem::create_directories(dir.path() / "My Music");
    const std::string track = dir.file("My Music/Caf\xC3\xA9 100%.mp3");
    test::writeFile(track, test::Bytes(5, 0));
    const std::string encoded = dir.file("My%20Music/Caf%C3%A9%20100%25.mp3");
    const std::string playlist =
        list("urls.m3u", "file://" + encoded + "\nFILE://localhost" + encoded + "\nfile://" +
                             dir.file("My Music/Caf\xC3\xA9 100%.mp3") + "\nfile:///x%00.mp3\n" +
                             "file://server/share/a.mp3\nhttp://radio.example/stream.mp3\n" +
                             "smb://nas/a.mp3\n");
    EXPECT_EQ(readPlaylistItems(playlist).items,
              (std::vector<PlaylistItem>{{track, 5}, {track, 5}, {track, 5}}));
}

TEST_F(PlaylistFileTest, OnlyTrackFilesBecomeRowsAndNestedListsExpandOnce) {
    std::filesystem::create_directories(dir.path() / "folder.mp3");
    const std::string track = test::writeFile(dir.file("t.mp3"), test::Bytes(3, 0));
    std::filesystem::create_symlink("/dev/zero", dir.path() / "zero.mp3");
    std::filesystem::create_symlink("/proc/self/mem", dir.path() / "mem.wav");
    std::filesystem::create_symlink(track, dir.path() / "link.mp3");
    list("inner.m3u", "t.mp3\nouter.m3u\ninner.m3u\n");  // names itself and the outer list
    const std::string outer =
        list("outer.m3u",
             ".\n..\n../../etc/passwd\n/dev/zero\n/proc/self/mem\nfolder.mp3\n"
             "zero.mp3\nmem.wav\nnotes.txt\n" +
                 dir.path().string() + "\nlink.mp3\nlater.mp3\ninner.m3u\n");
    const PlaylistRead read = readPlaylistItems(outer);
    EXPECT_EQ(read.error, "");
    EXPECT_EQ(read.items, (std::vector<PlaylistItem>{
                              {dir.file("link.mp3"), 3}, {dir.file("later.mp3"), 0}, {track, 3}}));
}

TEST_F(PlaylistFileTest, WhatIsNotAPlaylistIsRefusedWithAMessage) {
    const auto refusal = [](const std::string& path) {
        const PlaylistRead read = readPlaylistItems(path);
        EXPECT_TRUE(read.items.empty()) << path;
        return read.error;
    };
    // Sparse: one byte over the limit, taking no room on the disk.
    const std::string large = list("large.m3u", "/a.mp3\n");
    std::filesystem::resize_file(large, kMaxPlaylistBytes + 1);
    EXPECT_EQ(refusal(large), large + " is too large (more than 16 MB).");
    std::filesystem::resize_file(large, kMaxPlaylistBytes);  // NUL bytes, then
    EXPECT_EQ(refusal(large), large + " is not a playlist.");

    const std::string nul = list("nul.m3u", std::string("/a.mp3\n/b\0.mp3\n", 15));
    EXPECT_EQ(refusal(nul), nul + " is not a playlist.");
    const std::string control = list("control.pls", "[playlist]\nFile1=/a\x1B.mp3\n");
    EXPECT_EQ(refusal(control), control + " is not a playlist.");
    std::string noise;
    for (uint32_t i = 0, x = 12345; i < 4096; ++i)
        noise.push_back(char((x = x * 1103515245 + 12345) >> 16));
    const std::string random = list("random.m3u", noise);
    EXPECT_EQ(refusal(random), random + " is not a playlist.");
    EXPECT_EQ(refusal("/dev/zero"), "/dev/zero is not a playlist.");
    EXPECT_EQ(refusal(dir.path().string()), dir.path().string() + " is not a playlist.");
    EXPECT_EQ(refusal(dir.file("absent.m3u")), dir.file("absent.m3u") + " cannot be read.");
    EXPECT_TRUE(readPlaylistFile(nul, db).empty());

    // Short lines cannot flood the desk with rows either.
    std::string many;
    for (int i = 0; i <= 100000; ++i) many += "a.mp3\n";
    const std::string flood = list("flood.m3u", many);
    EXPECT_EQ(refusal(flood), flood + " is too large (more than 100000 tracks).");
    many.resize(many.size() - 6);
    EXPECT_EQ(readPlaylistItems(list("flood.m3u", many)).items.size(), 100000u);

    // Text in an old 8-bit encoding is text.
    const std::string latin1 = list("latin1.m3u", "/m/Caf\xE9.mp3\n");
    EXPECT_EQ(paths(readPlaylistItems(latin1)), Paths{"/m/Caf\xE9.mp3"});
}

TEST_F(PlaylistFileTest, SavedListsHoldOnlyTracksWrittenToResolveFromAnywhere) {
    const std::string m3u = dir.file("out.m3u");
    ASSERT_TRUE(writeTextFile(m3u, m3uText({"/a.mp3", "/b c.wav"})));
    EXPECT_EQ(text(test::readFile(m3u)), "/a.mp3\n/b c.wav\n");
    ASSERT_TRUE(writeTextFile(m3u, historyText({"/x.mp3"})));  // replaced
    EXPECT_EQ(text(test::readFile(m3u)), "/x.mp3\r\n");
    ASSERT_TRUE(writeTextFile(m3u, historyText({})));
    EXPECT_TRUE(test::readFile(m3u).empty());

    const InFolder inTheTestFolder(dir.path());
    EXPECT_EQ(m3uText({"rel/a.mp3", ".", "..", "../../etc/passwd", "/m/../b.flac", "/m/",
                       std::string("/n\0.mp3", 7), "/line\nbreak.mp3", "/cr\r.mp3", "C:\\W\\c.ogg",
                       "/set.m3u"}),
              dir.file("rel/a.mp3") + "\n/b.flac\nC:\\W\\c.ogg\n");
    EXPECT_EQ(historyText({"x.wav"}), dir.file("x.wav") + "\r\n");

    EXPECT_FALSE(writeTextFile(m3u, std::string("a\0b", 3)));
    EXPECT_FALSE(writeTextFile(dir.file("no/such/folder.m3u"), "x"));
    EXPECT_TRUE(test::readFile(m3u).empty());
}

}  // namespace
}  // namespace spinlorex
