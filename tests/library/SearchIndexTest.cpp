// The search over the search file: its lines and their fields, the terms of a typed text,
// the matching lines newest first, the result columns and their sorting, and the entry a
// dragged result gives.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "library/LibraryLayout.h"
#include "library/MusicalKey.h"
#include "library/SearchIndex.h"
#include "library/SearchLine.h"
#include "library/TrackDatabase.h"
#include "library/TrackList.h"
#include "library/TrackTags.h"
#include "support/Files.h"

namespace spinlorex {
namespace {

using Strings = std::vector<std::string>;

class SearchIndexTest : public ::testing::Test {
protected:
    void writeSearchFile(const std::string& text) {
        test::writeFile(home.file(SearchIndex::kFileName), test::Bytes(text.begin(), text.end()));
    }
    // Loads `text` as the search file.
    void load(const std::string& text) {
        writeSearchFile(text);
        ASSERT_EQ(index.load(), SearchIndex::LoadResult::Loaded);
    }
    Strings results() const {
        Strings lines;
        for (size_t row = 0; row < index.resultCount(); ++row)
            lines.emplace_back(index.resultLine(row));
        return lines;
    }
    Strings search(std::string_view text) {
        index.runSearch(text);
        return results();
    }
    Strings column(int c) const {
        Strings texts;
        for (size_t row = 0; row < index.resultCount(); ++row)
            texts.push_back(index.resultText(row, c));
        return texts;
    }

    test::TempDir home;
    SearchIndex index{home.path().string()};
};

TEST(SearchTerms, WordAndPhraseForms) {
    EXPECT_EQ(parseSearchTerms("daft punk"), (Strings{"DAFT", "PUNK"}));
    EXPECT_EQ(parseSearchTerms("\"daft punk\""), (Strings{"DAFT PUNK"}));
    EXPECT_EQ(parseSearchTerms("\" daft  punk \""), (Strings{" DAFT  PUNK "}));
    // Two spaces end the list; a leading space leaves no term at all.
    EXPECT_EQ(parseSearchTerms("rock  pop"), (Strings{"ROCK"}));
    EXPECT_EQ(parseSearchTerms(" rock"), Strings{});
    EXPECT_EQ(parseSearchTerms("rock "), (Strings{"ROCK"}));
    EXPECT_EQ(parseSearchTerms(""), Strings{});
    EXPECT_EQ(parseSearchTerms("\"\""), Strings{});
    // A lone quote, or quotes that do not close the text, are plain words.
    EXPECT_EQ(parseSearchTerms("\""), (Strings{"\""}));
    EXPECT_EQ(parseSearchTerms("\"a b"), (Strings{"\"A", "B"}));
    // Only a to z change; bytes of other letters stay as typed.
    EXPECT_EQ(parseSearchTerms("caf\xc3\xa9 z{a}"), (Strings{"CAF\xc3\xa9", "Z{A}"}));
    // At most 255 bytes are read.
    EXPECT_EQ(parseSearchTerms(std::string(254, 'a') + "bc"),
              (Strings{std::string(254, 'A') + "B"}));
}

TEST_F(SearchIndexTest, MatchingLinesAreListedNewestFirst) {
    load(
        "/:/music/Abc - One.mp3,10\r\n"
        "CD1=/x/abc.mp3,20\r\n"
        "/:/music/Other.mp3,30\r\n"
        "CD2=/ABC/Two.wav,40\r\n"
        "/:/music/caf\xc3\x89.mp3,50\r\n");
    EXPECT_EQ(index.lineCount(), 5u);
    // An empty search lists every line, the last line of the file first.
    EXPECT_EQ(search(""),
              (Strings{"/:/music/caf\xc3\x89.mp3,50", "CD2=/ABC/Two.wav,40",
                       "/:/music/Other.mp3,30", "CD1=/x/abc.mp3,20", "/:/music/Abc - One.mp3,10"}));
    EXPECT_EQ(search(" anything"), search(""));
    EXPECT_EQ(search("abc"),
              (Strings{"CD2=/ABC/Two.wav,40", "CD1=/x/abc.mp3,20", "/:/music/Abc - One.mp3,10"}));
    // Any of the terms; the whole line counts, disc names and size digits too.
    EXPECT_EQ(search("two cd1"), (Strings{"CD2=/ABC/Two.wav,40", "CD1=/x/abc.mp3,20"}));
    EXPECT_EQ(search("30"), (Strings{"/:/music/Other.mp3,30"}));
    EXPECT_EQ(search("two  abc"), (Strings{"CD2=/ABC/Two.wav,40"}));
    EXPECT_EQ(search("\"abc - one\""), (Strings{"/:/music/Abc - One.mp3,10"}));
    // An accented capital does not match its small letter; the same bytes do.
    EXPECT_EQ(search("caf\xc3\xa9"), Strings{});
    EXPECT_EQ(search("CAF\xc3\x89"), (Strings{"/:/music/caf\xc3\x89.mp3,50"}));
    // No term runs across the end of a line.
    EXPECT_EQ(search("50/"), Strings{});
    EXPECT_EQ(search("10CD1"), Strings{});
}

TEST_F(SearchIndexTest, LineEndsEmptyLinesAndMissingFiles) {
    EXPECT_EQ(index.load(), SearchIndex::LoadResult::Missing);
    EXPECT_FALSE(index.loaded());
    EXPECT_EQ(search(""), Strings{});  // nothing to search
    EXPECT_TRUE(index.takeScanQuestion());
    EXPECT_FALSE(index.takeScanQuestion());  // asked once per run

    load("a.mp3\rb.mp3\n\nc.mp3\r\n\r\nd.mp3");
    EXPECT_EQ(search(""), (Strings{"d.mp3", "c.mp3", "b.mp3", "a.mp3"}));
    load(std::string("x\0y.mp3\r\n", 9));  // a zero byte stays part of its line
    EXPECT_EQ(search("y.mp3"), (Strings{std::string("x\0y.mp3", 7)}));
    load("");
    EXPECT_TRUE(index.loaded());
    EXPECT_EQ(search(""), Strings{});

    // A reload forgets the results but keeps the terms.
    load("rock.mp3\r\npop.mp3\r\n");
    EXPECT_EQ(search("pop"), (Strings{"pop.mp3"}));
    load("rock.mp3\r\npop.mp3\r\nmore pop.mp3\r\n");
    EXPECT_EQ(index.resultCount(), 0u);
    index.refreshResults();
    EXPECT_EQ(results(), (Strings{"more pop.mp3", "pop.mp3"}));

    std::filesystem::remove(home.file(SearchIndex::kFileName));
    std::filesystem::create_directory(home.file(SearchIndex::kFileName));
    EXPECT_EQ(index.load(), SearchIndex::LoadResult::Unreadable);
    EXPECT_FALSE(index.loaded());
}

TEST(SearchLineFields, DrivesDiscsAndOddNames) {
    struct Case {
        std::string line;
        SearchLine::Kind kind;
        std::string key, path, folder, fileName;
        uint32_t size;
    };
    using enum SearchLine::Kind;
    const Case cases[] = {
        {"/:/home/me/a.mp3,4194304", Drive, "/:", "/home/me/a.mp3", "/home/me", "a.mp3", 4194304},
        {"/media/me/STICK:/Music/a.mp3,7", Drive, "/media/me/STICK:", "/Music/a.mp3", "/Music",
         "a.mp3", 7},
        {"CD1=/a/b.mp3,10", Disc, "CD1", "/a/b.mp3", "/a", "b.mp3", 10},
        {"CD1=/b.mp3", Disc, "CD1", "/b.mp3", "", "b.mp3", 0},  // no size
        {"CD1=b.mp3,3", Disc, "CD1", "b.mp3", "", "b.mp3", 3},
        // Names holding ",", "=" and ":" keep every byte; only a number is a size.
        {"/:/m/a,b=c:d.mp3,12", Drive, "/:", "/m/a,b=c:d.mp3", "/m", "a,b=c:d.mp3", 12},
        {"/:/m/a,b.mp3", Drive, "/:", "/m/a,b.mp3", "/m", "a,b.mp3", 0},
        {"Rock=/x:/y=z,1.mp3,5", Disc, "Rock", "/x:/y=z,1.mp3", "/x:", "y=z,1.mp3", 5},
        {"/mnt/a=b:c:/d/e.wav,9", Drive, "/mnt/a=b:c:", "/d/e.wav", "/d", "e.wav", 9},
        {"/mnt/odd::/e.wav,9", Drive, "/mnt/odd::", "/e.wav", "", "e.wav", 9},
        {"/:/m/\xff\xfe.mp3,1", Drive, "/:", "/m/\xff\xfe.mp3", "/m", "\xff\xfe.mp3", 1},
        {"/:/m/a\\b.mp3,1", Drive, "/:", "/m/a\\b.mp3", "/m", "a\\b.mp3", 1},
        // Lines written on Windows.
        {"C:\\Music\\a.mp3,4194304", Drive, "C:", "\\Music\\a.mp3", "\\Music", "a.mp3", 4194304},
        {"CD1=\\a\\b.mp3,10", Disc, "CD1", "\\a\\b.mp3", "\\a", "b.mp3", 10},
        {"CD1=\\big.mp3,-1294967296", Disc, "CD1", "\\big.mp3", "", "big.mp3", 3000000000u},
        // A plain path, and sizes beyond what a record holds.
        {"/home/me/x=y.mp3,99", Plain, "", "/home/me/x=y.mp3", "/home/me", "x=y.mp3", 99},
        {"a.mp3,99999999999", Plain, "", "a.mp3", "", "a.mp3", 0xFFFFFFFFu},
        {"a.mp3,", Plain, "", "a.mp3,", "", "a.mp3,", 0},
        {"a.mp3,1x", Plain, "", "a.mp3,1x", "", "a.mp3,1x", 0},
    };
    for (const Case& c : cases) {
        const SearchLine line = parseSearchLine(c.line);
        EXPECT_EQ(line.kind, c.kind) << c.line;
        EXPECT_EQ(line.key, c.key) << c.line;
        EXPECT_EQ(line.path, c.path) << c.line;
        EXPECT_EQ(line.folder, c.folder) << c.line;
        EXPECT_EQ(line.fileName, c.fileName) << c.line;
        EXPECT_EQ(line.size, c.size) << c.line;
        EXPECT_EQ(lineKey(c.line), c.key) << c.line;
    }
}

TEST(SearchLineFields, FilesAndFoldersOfDrivesAndDiscs) {
    const auto path = [](std::string_view line, std::string_view cdDrive) {
        return trackPathOf(parseSearchLine(line), cdDrive);
    };
    // One "/" between the drive and the folder, whichever side brings it.
    EXPECT_EQ(path("CD1=/a/b.mp3,10", "/media/cdrom/"), "/media/cdrom/a/b.mp3");
    EXPECT_EQ(path("CD1=/a/b.mp3,10", "/media/cdrom"), "/media/cdrom/a/b.mp3");
    EXPECT_EQ(path("CD1=a/b.mp3,10", "/media/cdrom"), "/media/cdrom/a/b.mp3");
    EXPECT_EQ(path("CD1=\\a\\b.mp3,10", "/media/cdrom"), "/media/cdrom/a/b.mp3");
    EXPECT_EQ(path("CD1=/a,1.mp3", ""), "/a,1.mp3");
    EXPECT_EQ(path("/:/home/a=b.mp3,1", "/cd"), "/home/a=b.mp3");
    EXPECT_EQ(path("/media/x:/M/a.mp3,1", "/cd"), "/media/x/M/a.mp3");
    EXPECT_EQ(path("/mnt/odd::/a.mp3,1", "/cd"), "/mnt/odd:/a.mp3");
    EXPECT_EQ(path("/home/me/x=y.mp3,99", "/cd"), "/home/me/x=y.mp3");
    EXPECT_EQ(path("C:\\Music\\a.mp3,1", "/cd"), "C:\\Music\\a.mp3");

    const auto folder = [](std::string_view line) { return shownFolderOf(parseSearchLine(line)); };
    EXPECT_EQ(folder("CD1=/a/b.mp3,10"), "/a");
    EXPECT_EQ(folder("/:/home/me/a.mp3,1"), "/home/me");
    EXPECT_EQ(folder("/:/a.mp3,1"), "/");
    EXPECT_EQ(folder("/media/x:/M/a.mp3,1"), "/media/x/M");
    EXPECT_EQ(folder("/media/x:/a.mp3,1"), "/media/x");
    EXPECT_EQ(folder("C:\\Music\\a.mp3,1"), "C:\\Music");

    EXPECT_EQ(driveKeyOf("/"), "/:");
    EXPECT_EQ(driveKeyOf("/media/x/"), "/media/x:");
    EXPECT_EQ(driveKeyOf("/mnt/a=b:c"), "/mnt/a=b:c:");
    EXPECT_EQ(driveKeyOf("/mnt/c:/d"), std::nullopt);  // its lines could not be told apart
    EXPECT_EQ(driveKeyOf("/mnt/a\nb"), std::nullopt);
    EXPECT_EQ(driveKeyOf("relative"), std::nullopt);

    EXPECT_TRUE(isValidDiscName("CD1"));
    EXPECT_TRUE(isValidDiscName("Rock, Pop & More/2"));
    EXPECT_TRUE(isValidDiscName(std::string(253, 'x')));
    for (const char* bad : {"", "a=b", "C:", "/x", "a\nb", "a\rb"})
        EXPECT_FALSE(isValidDiscName(bad)) << bad;
    EXPECT_FALSE(isValidDiscName(std::string(254, 'x')));
}

TEST_F(SearchIndexTest, ResultColumns) {
    load(
        "/:/home/me/Some_Artist - Some Title.mp3,4194304\r\n"
        "CD1=/a/b.mp3,10\r\n"
        "Rock=/(DJ X) Track.mp3,5\r\n");
    index.runSearch("");
    EXPECT_EQ(column(SearchIndex::kTitle), (Strings{"Track", "b", "Some Title"}));
    EXPECT_EQ(column(SearchIndex::kArtist), (Strings{"DJ X", "", "Some Artist"}));
    EXPECT_EQ(column(SearchIndex::kDisc), (Strings{"Rock", "CD1", ""}));
    EXPECT_EQ(column(SearchIndex::kPath), (Strings{"", "/a", "/home/me"}));
}

TEST_F(SearchIndexTest, HeaderClicksSortByTheirKeys) {
    load(
        "CD2=/b - Bravo.mp3,1\r\n"
        "CD1=/a - alpha.mp3,2\r\n"
        "CD3=/c - Charlie.mp3,3\r\n"
        "CD1=/d - alpha.mp3,4\r\n");
    index.runSearch("");
    EXPECT_EQ(index.resultSortKey(), 0);
    // The first click on "Title" after start sorts Z to A (equal titles keep their order).
    index.sortResults(SearchIndex::kTitle);
    EXPECT_EQ(index.resultSortKey(), 8);
    EXPECT_EQ(column(SearchIndex::kTitle), (Strings{"Charlie", "Bravo", "alpha", "alpha"}));
    EXPECT_EQ(column(SearchIndex::kArtist), (Strings{"c", "b", "d", "a"}));
    index.sortResults(SearchIndex::kTitle);
    EXPECT_EQ(index.resultSortKey(), 0);
    EXPECT_EQ(column(SearchIndex::kTitle), (Strings{"alpha", "alpha", "Bravo", "Charlie"}));
    index.sortResults(SearchIndex::kTitle);
    EXPECT_EQ(column(SearchIndex::kTitle), (Strings{"Charlie", "Bravo", "alpha", "alpha"}));
    // Another column: A to Z first, then Z to A.
    index.sortResults(SearchIndex::kDisc);
    EXPECT_EQ(index.resultSortKey(), 2);
    EXPECT_EQ(column(SearchIndex::kDisc), (Strings{"CD1", "CD1", "CD2", "CD3"}));
    index.sortResults(SearchIndex::kDisc);
    EXPECT_EQ(index.resultSortKey(), 10);
    EXPECT_EQ(column(SearchIndex::kDisc), (Strings{"CD3", "CD2", "CD1", "CD1"}));
    index.sortResults(SearchIndex::kArtist);
    EXPECT_EQ(column(SearchIndex::kArtist), (Strings{"a", "b", "c", "d"}));
    // A new search lists newest first again and keeps the key.
    index.runSearch("alpha");
    EXPECT_EQ(column(SearchIndex::kArtist), (Strings{"d", "a"}));
    EXPECT_EQ(index.resultSortKey(), 1);
    index.sortResults(SearchIndex::kColumns + kAddedColumnCount);  // no such column
    EXPECT_EQ(index.resultSortKey(), 1);

    // The added columns sort as the lists do: the key round the wheel (the detected key
    // before the tags'), rows without one last; a second click reverses.
    TrackTags tagged;
    tagged.key = "10A";
    index.setFactsLookup([&](std::string_view line) {
        SearchFacts facts;
        if (line.find("Bravo") != std::string_view::npos) facts.tags = &tagged;
        if (line.find("Charlie") != std::string_view::npos) facts.key = parseKey("2B");
        if (line.find("/a - ") != std::string_view::npos) facts.key = parseKey("9A");
        return facts;
    });
    constexpr int kKey = int{SearchIndex::kColumns} + int{kColumnKey} - int{kFirstExtraColumn};
    index.runSearch("");
    index.sortResults(kKey);
    EXPECT_FALSE(index.resultsDescending());
    EXPECT_EQ(column(kKey), (Strings{"2B", "9A", "10A", ""}));
    index.sortResults(kKey);
    EXPECT_TRUE(index.resultsDescending());
    EXPECT_EQ(column(kKey), (Strings{"10A", "9A", "2B", ""}));
}

TEST_F(SearchIndexTest, ADraggedResultOpensItsFileWithItsRecord) {
    load(
        "/:/home/me/Artist - Title.mp3,4194304\r\n"
        "CD1=/a/b.mp3,10\r\n"
        "CD1=/a/Artist - Title.mp3\r\n"
        "/media/x:/odd,=:\xff name.mp3,77\r\n");
    index.runSearch("");
    TrackDatabase database;
    const TrackEntry odd = index.resultEntry(0, "/media/cdrom/", database);
    EXPECT_EQ(odd.path, "/media/x/odd,=:\xff name.mp3");
    EXPECT_EQ(odd.title, "odd,=:\xff name");
    ASSERT_NE(odd.record, nullptr);
    EXPECT_EQ(odd.record->name, "odd,=:\xff name.mp3");
    EXPECT_EQ(odd.record->fileSize, 77u);

    // A line without size gives a record of size 0, apart from the same name with a size.
    const TrackEntry noSize = index.resultEntry(1, "/media/cdrom/", database);
    EXPECT_EQ(noSize.path, "/media/cdrom/a/Artist - Title.mp3");
    EXPECT_EQ(noSize.record->fileSize, 0u);
    const TrackEntry cd = index.resultEntry(2, "/media/cdrom", database);
    EXPECT_EQ(cd.path, "/media/cdrom/a/b.mp3");
    EXPECT_EQ(cd.artist, "");
    EXPECT_EQ(cd.title, "b");
    const TrackEntry drive = index.resultEntry(3, "/media/cdrom", database);
    EXPECT_EQ(drive.path, "/home/me/Artist - Title.mp3");
    EXPECT_EQ(drive.artist, "Artist");
    EXPECT_EQ(drive.title, "Title");
    EXPECT_EQ(drive.record->fileSize, 4194304u);
    EXPECT_NE(drive.record, noSize.record);
    // The deck finds the same record from the path and the size its reader reports.
    EXPECT_EQ(database.findOrAdd(drive.path, 4194304), drive.record);
    EXPECT_EQ(index.resultEntry(3, "", database).record, drive.record);
}

}  // namespace
}  // namespace spinlorex
