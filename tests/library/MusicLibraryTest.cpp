// The library's lists and rules, headless: double-clicks, the playlist feeding the decks,
// the history and its marks, saving, sorting and the library's own drag and drop.

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <condition_variable>
#include <deque>
#include <filesystem>
#include <functional>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "library/MusicLibrary.h"
#include "library/PlaylistFile.h"
#include "library/TrackDatabase.h"
#include "library/TrackTags.h"
#include "support/Files.h"

namespace spinlorex {
namespace {

using Titles = std::vector<std::string>;
using List = MusicLibrary::List;
using Zone = MusicLibrary::DropZone;

// Two decks that remember what they were given.
class FakeDecks : public LibraryDecks {
public:
    bool holdsTrack(int d) const override { return held[static_cast<size_t>(d)]; }
    bool isBusy(int d) const override { return busy[static_cast<size_t>(d)]; }
    bool isAudible(int d) const override { return audible[static_cast<size_t>(d)]; }
    int selectedDeck() const override { return selected; }
    void loadOntoDeck(int d, const TrackEntry& entry) override {
        loads.push_back(std::to_string(d + 1) + " " + entry.title);
        const bool opens = entry.title.find("broken") == std::string::npos;
        held[static_cast<size_t>(d)] = opens;
        busy[static_cast<size_t>(d)] = true;
        track[static_cast<size_t>(d)] = entry;
        selected = d;
    }
    const TrackEntry* openTrack(int d) const override {
        return held[static_cast<size_t>(d)] ? &track[static_cast<size_t>(d)] : nullptr;
    }
    bool askYesNo(const std::string& question) override {
        questions.push_back(question);
        return answer;
    }
    LibraryRules rules() const override { return rulesSet; }
    std::optional<MusicalKey> currentKey(int d) const override {
        return keys[static_cast<size_t>(d)];
    }

    LibraryRules rulesSet;
    std::array<std::optional<MusicalKey>, 2> keys{};
    std::array<bool, 2> held{}, busy{}, audible{};
    std::array<TrackEntry, 2> track{};
    int selected = 0;
    bool answer = true;
    std::vector<std::string> loads, questions;
};

class MusicLibraryTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(db.open(dir.path().string()));
        library.attach(&decks);
    }

    TrackEntry track(const std::string& title, uint32_t size = 100) {
        return TrackEntry{"", title, "/music/" + title + ".mp3",
                          db.findOrAdd(title + ".mp3", size)};
    }
    // A playlist file of tracks named by `titles` (none of them on disk).
    TrackEntry playlistFile(const std::string& name, const Titles& titles) {
        std::string text;
        for (const std::string& t : titles) text += "/music/" + t + "\n";
        const std::string path =
            test::writeFile(dir.file(name), test::Bytes(text.begin(), text.end()));
        return TrackEntry{"", name, path, nullptr};
    }
    void fillPlaylist(const std::vector<TrackEntry>& entries) {
        library.insertIntoPlaylist(-1, entries);
    }
    static Titles titles(const TrackList& list) {
        Titles t;
        for (const LibraryRow& row : list.rows()) t.push_back(row.entry.title);
        return t;
    }
    static std::vector<RowIcon> icons(const TrackList& list) {
        std::vector<RowIcon> i;
        for (const LibraryRow& row : list.rows()) i.push_back(row.icon);
        return i;
    }
    void drag(List from, std::vector<int> rows) { library.beginDrag(from, rows); }

    test::TempDir dir;
    TrackDatabase db;
    FakeDecks decks;
    MusicLibrary library{db};
};

TEST_F(MusicLibraryTest, DoubleClickLoadsAFreeDeckAndQueuesWhenBothAreBusy) {
    fillPlaylist({track("q1"), track("q2")});
    library.files().assign({{track("a"), RowIcon::NeverPlayed}});

    library.chooseEntry(List::Files, 0);  // deck 1 free
    decks.selected = 0;
    library.chooseEntry(List::Files, 0);  // deck 1 busy (loaded, not started): deck 2
    EXPECT_EQ(decks.loads, (Titles{"1 a", "2 a"}));

    // Both busy: a files row is queued, a playlist row stays where it is.
    library.chooseEntry(List::Files, 0);
    library.chooseEntry(List::Playlist, 0);
    EXPECT_EQ(titles(library.playlist()), (Titles{"q1", "q2", "a"}));
    EXPECT_EQ(decks.loads.size(), 2u);

    // A playlist row that reaches a deck leaves the playlist.
    decks.busy[1] = false;
    library.chooseEntry(List::Playlist, 1);
    EXPECT_EQ(decks.loads.back(), "2 q2");
    EXPECT_EQ(titles(library.playlist()), (Titles{"q1", "a"}));
}

TEST_F(MusicLibraryTest, DoubleClickedPlaylistFilesFeedTheFreeDecksOrExpandInPlace) {
    library.files().assign({{playlistFile("set.m3u", {"t1.mp3", "t2.mp3", "t3.mp3", "t4.mp3"}),
                             RowIcon::PlaylistFile}});
    decks.busy[0] = true;  // only deck 2 is free: it gets the first track
    library.chooseEntry(List::Files, 0);
    EXPECT_EQ(decks.loads, Titles{"2 t1"});
    EXPECT_EQ(titles(library.playlist()), (Titles{"t2", "t3", "t4"}));
    EXPECT_EQ(library.files().size(), 1u);

    // In the playlist, its tracks take its place.
    fillPlaylist({playlistFile("two.m3u", {"u1.mp3", "u2.mp3"}), track("last")});
    library.chooseEntry(List::Playlist, 3);
    EXPECT_EQ(titles(library.playlist()), (Titles{"t2", "t3", "t4", "u1", "u2", "last"}));
    EXPECT_EQ(icons(library.playlist())[3], RowIcon::NeverPlayed);
}

// "CompatibleFirst": the first track whose key mixes with the other deck's comes first;
// without one (or without the option, or a key on the other deck) the order holds.
TEST_F(MusicLibraryTest, CompatibleFirstTakesTheFirstTrackThatMixesWithTheOtherDeck) {
    auto keyed = [&](const std::string& title, const char* key) {
        TrackEntry entry = track(title);
        auto tags = std::make_shared<TrackTags>();
        tags->key = key;
        entry.tags = std::move(tags);
        return entry;
    };
    fillPlaylist({keyed("far", "3A"), track("unknown"), keyed("near", "9A"), keyed("same", "8A")});
    decks.rulesSet.compatibleFirst = true;
    decks.keys[1] = parseKey("8A");
    ASSERT_TRUE(library.loadNextFromPlaylist(0));
    EXPECT_EQ(decks.loads, Titles{"1 near"});
    EXPECT_EQ(titles(library.playlist()), (Titles{"far", "unknown", "same"}));
    decks.keys[1] = parseKey("1B");  // nothing mixes with it: the top
    ASSERT_TRUE(library.loadNextFromPlaylist(0));
    decks.rulesSet.compatibleFirst = false;
    decks.keys[1] = parseKey("8A");
    ASSERT_TRUE(library.loadNextFromPlaylist(0));
    EXPECT_EQ(decks.loads, (Titles{"1 near", "1 far", "1 unknown"}));
}

TEST_F(MusicLibraryTest, TheTopOfThePlaylistFeedsADeckAndRowsThatGiveNothingAreUsedUp) {
    EXPECT_FALSE(library.loadNextFromPlaylist(0));
    fillPlaylist(
        {playlistFile("set.m3u", {"p1.mp3", "p2.mp3", "p3.mp3", "p4.mp3"}), track("after")});
    ASSERT_TRUE(library.loadNextFromPlaylist(1));
    // First on the deck asked, second on the other (free) deck, the rest on top.
    EXPECT_EQ(decks.loads, (Titles{"2 p1", "1 p2"}));
    EXPECT_EQ(titles(library.playlist()), (Titles{"p3", "p4", "after"}));

    // With the other deck holding a track, only the first of a playlist file is loaded.
    library.playlist().clear();
    fillPlaylist({playlistFile("pair.m3u", {"r1.mp3", "r2.mp3"})});
    decks.loads.clear();
    ASSERT_TRUE(library.loadNextFromPlaylist(0));
    EXPECT_EQ(decks.loads, Titles{"1 r1"});
    EXPECT_EQ(titles(library.playlist()), Titles{"r2"});

    // An empty playlist file and a track that cannot be opened are used up on the way to
    // the next row that loads; a playlist of nothing loadable gives nothing.
    library.playlist().clear();
    fillPlaylist({playlistFile("empty.m3u", {}), track("broken"), track("good"), track("next")});
    decks.loads.clear();
    ASSERT_TRUE(library.loadNextFromPlaylist(0));
    EXPECT_EQ(decks.loads, (Titles{"1 broken", "1 good"}));
    EXPECT_EQ(titles(library.playlist()), Titles{"next"});
    library.playlist().clear();
    fillPlaylist({track("broken"), TrackEntry{"", "gone.m3u", dir.file("gone.m3u"), nullptr}});
    EXPECT_FALSE(library.loadNextFromPlaylist(0));
    EXPECT_TRUE(library.playlist().empty());
}

TEST_F(MusicLibraryTest, DropsOnDecksFollowTheDeckRulesAndBabySecure) {
    // Three tracks on a free deck 1 while deck 2 is free: one each, the third on top.
    fillPlaylist({track("old")});
    library.files().assign({{track("a"), RowIcon::Played},
                            {track("b"), RowIcon::Played},
                            {track("c"), RowIcon::Played}});
    drag(List::Files, {2, 0, 1});
    EXPECT_EQ(library.dragCount(), 3);
    EXPECT_EQ(library.dragCursor(Zone::Deck1), MusicLibrary::DragCursor::DropSeveral);
    library.dropOnDeck(Zone::Deck1, {});
    EXPECT_FALSE(library.dragActive());
    EXPECT_EQ(decks.loads, (Titles{"1 a", "2 b"}));
    EXPECT_EQ(titles(library.playlist()), (Titles{"c", "old"}));
    EXPECT_EQ(library.files().size(), 3u);  // dragged from the files list: copies

    // An audible deck: "Baby secure" 2 refuses and the entry is lost; 1 asks.
    decks.audible[0] = true;
    decks.rulesSet.babySecure = 2;
    drag(List::Playlist, {0});
    EXPECT_EQ(library.dragCursor(Zone::Deck1), MusicLibrary::DragCursor::NoDropOne);
    EXPECT_EQ(library.dragCursor(Zone::Deck2), MusicLibrary::DragCursor::DropOne);
    library.dropOnDeck(Zone::Deck1, {});
    EXPECT_EQ(decks.loads.size(), 2u);
    EXPECT_EQ(titles(library.playlist()), Titles{"old"});
    decks.rulesSet.babySecure = 1;
    decks.answer = false;
    drag(List::Files, {0});
    library.dropOnDeck(Zone::Deck1, {});
    EXPECT_EQ(decks.questions, Titles{kReplaceQuestion});
    EXPECT_EQ(decks.loads.size(), 2u);
    decks.answer = true;
    drag(List::Files, {0});
    library.dropOnDeck(Zone::Deck1, {});
    EXPECT_EQ(decks.loads.back(), "1 a");
    decks.rulesSet.babySecure = 0;
    drag(List::Files, {1});
    library.dropOnDeck(Zone::Deck1, {});
    EXPECT_EQ(decks.loads.back(), "1 b");
    EXPECT_EQ(decks.questions.size(), 2u);
}

TEST_F(MusicLibraryTest, DropsOnThePlaylistAndElsewhere) {
    fillPlaylist({track("p0"), track("p1")});
    library.files().assign({{track("a"), RowIcon::Played}, {track("b"), RowIcon::Played}});

    drag(List::Files, {0, 1});
    library.dropOnDeck(Zone::Playlist, {true, 1});  // before the row under the point
    EXPECT_EQ(titles(library.playlist()), (Titles{"p0", "a", "b", "p1"}));
    drag(List::Files, {0});
    library.dropOnDeck(Zone::Playlist, {false, -1});  // another window covers it
    drag(List::Files, {1});
    library.dropOnDeck(Zone::Playlist, {true, -1});  // below the last row
    drag(List::Files, {0});
    library.dropOnDeck(Zone::PlaylistButton, {});
    EXPECT_EQ(titles(library.playlist()), (Titles{"p0", "a", "b", "p1", "b", "a"}));
    EXPECT_TRUE(decks.loads.empty());

    // Rows dragged out of the playlist and released over nothing are gone.
    drag(List::Playlist, {3, 4, 5});
    EXPECT_EQ(titles(library.playlist()), (Titles{"p0", "a", "b"}));
    EXPECT_EQ(library.dragCursor(Zone::Elsewhere), MusicLibrary::DragCursor::NoDropSeveral);
    library.dropOnDeck(Zone::Elsewhere, {});
    EXPECT_EQ(titles(library.playlist()), (Titles{"p0", "a", "b"}));

    // The rhythm window loads a free deck even while the playlist has rows.
    decks.selected = 1;
    drag(List::Files, {0});
    EXPECT_EQ(library.dragCursor(Zone::RhythmWindow), MusicLibrary::DragCursor::DropOne);
    library.dropOnDeck(Zone::RhythmWindow, {});
    EXPECT_EQ(decks.loads, Titles{"2 a"});

    // "menu playlist" on an empty playlist: queued with automatic mixing off, loaded on a
    // free deck with it on, queued again once both decks hold tracks.
    library.playlist().clear();
    drag(List::Files, {1});
    library.dropOnDeck(Zone::PlaylistButton, {});
    EXPECT_EQ(titles(library.playlist()), Titles{"b"});
    library.playlist().clear();
    decks.rulesSet.autoMix = true;
    drag(List::Files, {1});
    library.dropOnDeck(Zone::PlaylistButton, {});
    EXPECT_EQ(decks.loads, (Titles{"2 a", "1 b"}));
    drag(List::Files, {0});
    library.dropOnDeck(Zone::PlaylistButton, {});
    EXPECT_EQ(titles(library.playlist()), Titles{"a"});
}

TEST_F(MusicLibraryTest, DroppedPlaylistFilesLoadTheirFirstTracksAndQueueTheRest) {
    library.files().assign(
        {{playlistFile("set.m3u", {"s1.mp3", "s2.mp3", "s3.mp3"}), RowIcon::PlaylistFile},
         {track("x"), RowIcon::Played},
         {track("y"), RowIcon::Played}});
    drag(List::Files, {0, 1, 2});
    library.dropOnDeck(Zone::Deck2, {});
    EXPECT_EQ(decks.loads, (Titles{"2 s1", "1 s2"}));
    EXPECT_EQ(titles(library.playlist()), (Titles{"s3", "x", "y"}));

    // A playlist file second: its first track goes to the free other deck, its others
    // into the playlist.
    library.playlist().clear();
    decks = FakeDecks{};
    library.files().assign(
        {{track("x"), RowIcon::Played},
         {playlistFile("set.m3u", {"s1.mp3", "s2.mp3", "s3.mp3"}), RowIcon::PlaylistFile}});
    drag(List::Files, {0, 1});
    library.dropOnDeck(Zone::Deck1, {});
    EXPECT_EQ(decks.loads, (Titles{"1 x", "2 s1"}));
    EXPECT_EQ(titles(library.playlist()), (Titles{"s2", "s3"}));
}

TEST_F(MusicLibraryTest, HistoryMarksRowsAndDeletingARowTakesTheMarkOff) {
    const TrackEntry a = track("a");
    library.files().assign({{a, RowIcon::NeverPlayed}, {track("b"), RowIcon::NeverPlayed}});
    fillPlaylist({a, track("c")});
    library.addToHistory(0);  // nothing open
    EXPECT_TRUE(library.history().empty());

    decks.loadOntoDeck(0, a);
    library.addToHistory(0);
    library.addToHistory(0);  // the same track twice: two rows
    EXPECT_EQ(titles(library.history()), (Titles{"a", "a"}));
    EXPECT_EQ(icons(library.history()), (std::vector<RowIcon>{RowIcon::None, RowIcon::None}));
    EXPECT_EQ(icons(library.files()),
              (std::vector<RowIcon>{RowIcon::InHistory, RowIcon::NeverPlayed}));
    EXPECT_EQ(icons(library.playlist()),
              (std::vector<RowIcon>{RowIcon::InHistory, RowIcon::NeverPlayed}));
    fillPlaylist({a});
    EXPECT_EQ(library.playlist().row(2).icon, RowIcon::InHistory);

    // "New songs only" removes the played tracks (a playlist file stays).
    fillPlaylist({playlistFile("l.m3u", {})});
    library.removePlayedFromPlaylist();
    EXPECT_EQ(titles(library.playlist()), (Titles{"c", "l.m3u"}));
    fillPlaylist({a});

    // One of the two rows deleted: the mark goes, although the other row remains.
    library.removeRows(List::History, std::vector<int>{1});
    EXPECT_EQ(library.history().size(), 1);
    EXPECT_TRUE(library.isInHistory(a.record));
    EXPECT_EQ(library.files().row(0).icon, RowIcon::Played);
    EXPECT_EQ(library.playlist().row(2).icon, RowIcon::Played);
    library.removeRows(List::Files, std::vector<int>{0, 1});  // the files list keeps its rows
    EXPECT_EQ(library.files().size(), 2);
}

TEST_F(MusicLibraryTest, SavingThePlaylistAndTheHistory) {
    const auto savePlaylist = [&](const std::string& path) {
        bool written = false;
        library.savePlaylist(path, [&](bool ok) { written = ok; });
        return written;
    };
    const auto saveHistory = [&](const std::string& path) {
        bool written = false;
        library.saveHistory(path, [&](bool ok) { written = ok; });
        return written;
    };
    fillPlaylist(
        {track("one"), playlistFile("three.m3u", {"x.mp3", "y.mp3", "z.mp3"}), track("two")});
    EXPECT_FALSE(savePlaylist(dir.file("no/folder/set.m3u")));
    if (std::filesystem::exists("/dev/full")) {
        EXPECT_FALSE(savePlaylist("/dev/full"));
    }
    EXPECT_EQ(library.playlist().size(), 3);

    const std::string saved = dir.file("set.m3u");
    ASSERT_TRUE(savePlaylist(saved));
    const test::Bytes written = test::readFile(saved);
    EXPECT_EQ(std::string(written.begin(), written.end()),
              "/music/one.mp3\n/music/x.mp3\n/music/y.mp3\n/music/z.mp3\n/music/two.mp3\n");
    ASSERT_EQ(library.playlist().size(), 1);
    const LibraryRow& row = library.playlist().row(0);
    EXPECT_EQ(row.entry.title, "set.m3u");
    EXPECT_EQ(row.entry.artist, "");
    EXPECT_EQ(row.entry.path, saved);
    EXPECT_EQ(row.entry.record, nullptr);
    EXPECT_EQ(row.icon, RowIcon::PlaylistFile);

    // The history is written oldest first.
    const std::string history = dir.file("history.txt");
    ASSERT_TRUE(saveHistory(history));
    EXPECT_TRUE(test::readFile(history).empty());
    for (const char* name : {"A", "B", "C"}) {
        decks.loadOntoDeck(
            1, TrackEntry{"", name, std::string("/m/") + name + ".mp3", db.findOrAdd(name, 1)});
        library.addToHistory(1);
    }
    EXPECT_EQ(titles(library.history()), (Titles{"C", "B", "A"}));
    ASSERT_TRUE(saveHistory(history));
    const test::Bytes lines = test::readFile(history);
    EXPECT_EQ(std::string(lines.begin(), lines.end()), "/m/A.mp3\r\n/m/B.mp3\r\n/m/C.mp3\r\n");
    EXPECT_EQ(library.history().size(), 3);
}

TEST_F(MusicLibraryTest, ShuffleKeepsTheRows) {
    fillPlaylist({track("only")});
    library.shufflePlaylist();
    EXPECT_EQ(titles(library.playlist()), Titles{"only"});
    library.playlist().clear();
    Titles many;
    for (int i = 0; i < 40; ++i) {
        many.push_back("t" + std::to_string(i));
        fillPlaylist({track(many.back())});
    }
    library.seed(7);
    library.shufflePlaylist();
    Titles shuffled = titles(library.playlist());
    EXPECT_NE(shuffled, many);
    std::ranges::sort(shuffled);
    std::ranges::sort(many);
    EXPECT_EQ(shuffled, many);
}

TEST_F(MusicLibraryTest, FilledFolderSortsByLastUseAndColumnClicksFollowTheClickRule) {
    TrackRecord* played = db.findOrAdd("/f/Beta - Old.mp3", 10);
    played->lastUsedDate = 2000;
    played->bpm = 128.0f;
    TrackRecord* recent = db.findOrAdd("/f/alpha - New.mp3", 20);
    recent->lastUsedDate = 3000;
    recent->bpm = 90.0f;
    recent->commentOverride = "zz";
    db.findOrAdd("/f/Gamma - Fresh.mp3", 30)->bpm = 140.004f;
    library.fillFiles({{"alpha - New.mp3", "/f/alpha - New.mp3", 20, false},
                       {"Beta - Old.mp3", "/f/Beta - Old.mp3", 10, false},
                       {"list.m3u", "/f/list.m3u", 5, true},
                       {"Gamma - Fresh.mp3", "/f/Gamma - Fresh.mp3", 30, false}});
    EXPECT_EQ(library.sortKey(), kSortByLastPlayed);
    EXPECT_EQ(titles(library.files()), (Titles{"New", "Old", "Fresh", "list.m3u"}));
    EXPECT_EQ(icons(library.files()),
              (std::vector<RowIcon>{RowIcon::Played, RowIcon::Played, RowIcon::NeverPlayed,
                                    RowIcon::PlaylistFile}));
    EXPECT_EQ(library.files().row(0).entry.record, recent);

    library.sortFiles(2);  // tempo: fastest first, no record last
    EXPECT_EQ(titles(library.files()), (Titles{"Fresh", "Old", "New", "list.m3u"}));
    library.sortFiles(2);  // again: slowest first, no record still last
    EXPECT_EQ(library.sortKey(), 10);
    EXPECT_EQ(titles(library.files()), (Titles{"New", "Old", "Fresh", "list.m3u"}));
    library.sortFiles(2);  // a third click sorts as the first
    EXPECT_EQ(library.sortKey(), 2);
    EXPECT_EQ(titles(library.files()), (Titles{"Fresh", "Old", "New", "list.m3u"}));

    library.sortFiles(1);  // artist, without regard to case
    EXPECT_EQ(titles(library.files()), (Titles{"list.m3u", "New", "Old", "Fresh"}));
    library.sortFiles(1);
    EXPECT_EQ(titles(library.files()), (Titles{"Fresh", "Old", "New", "list.m3u"}));
    library.sortFiles(0);
    EXPECT_EQ(titles(library.files()), (Titles{"Fresh", "list.m3u", "New", "Old"}));
    library.sortFiles(3);  // comments: empty ones first, rows without a record last
    EXPECT_EQ(titles(library.files()), (Titles{"Fresh", "Old", "New", "list.m3u"}));
    library.sortFiles(3);
    EXPECT_EQ(titles(library.files()), (Titles{"New", "Fresh", "Old", "list.m3u"}));
    EXPECT_EQ(nextSortKey(10, 2), 2);
    EXPECT_EQ(nextSortKey(kSortByLastPlayed, 0), 0);
}

TEST_F(MusicLibraryTest, AFillInSlicesShowsOnlyTheLastFolderAskedFor) {
    const auto folder = [](const std::string& name, int count) {
        std::vector<FolderItem> items;
        for (int i = 0; i < count; ++i) {
            const std::string file = "A - " + name + std::to_string(i) + ".mp3";
            items.push_back({file, "/" + name + "/" + file, 10, false});
        }
        return items;
    };
    library.fillFiles(folder("old", 2));
    library.beginFilesFill(folder("slow", 5));
    EXPECT_FALSE(library.stepFilesFill(2));
    EXPECT_EQ(library.files().size(), 2);      // the list changes only once the fill is whole
    library.beginFilesFill(folder("new", 3));  // another folder selected meanwhile
    EXPECT_FALSE(library.stepFilesFill(2));
    EXPECT_TRUE(library.stepFilesFill(2));
    EXPECT_FALSE(library.fillingFiles());
    EXPECT_EQ(titles(library.files()), (Titles{"new0", "new1", "new2"}));
    library.beginFilesFill(folder("dropped", 1));
    library.dropFilesFill();
    EXPECT_TRUE(library.stepFilesFill(4));
    EXPECT_EQ(library.files().size(), 3);
}

TEST_F(MusicLibraryTest, TheDialogsChangeTheRecordAndMarkItUsedToday) {
    TrackRecord* record = db.findOrAdd("x.mp3", 1);
    library.setBpm(record, 126.5f);
    EXPECT_EQ(record->currentBpm(), 126.5f);
    EXPECT_EQ(record->lastUsedDate, db.today());
    EXPECT_EQ(record->analysis, nullptr);  // taken and released: written
    db.flush();
    EXPECT_GT(std::filesystem::file_size(dir.file(TrackDatabase::kFileName)), 0u);
    EXPECT_EQ(db.acquireAnalysis(record)->bpmConfidence, TrackAnalysis::kHandSetConfidence);
    db.releaseAnalysis(record);
    for (float nonsense : {0.0f, 1.0f, 999.0f, -5.0f}) {
        library.setBpm(record, nonsense);
        EXPECT_EQ(db.acquireAnalysis(record)->bpmConfidence, 0) << nonsense;
        db.releaseAnalysis(record);
    }
    library.setComment(record, "peak time");
    EXPECT_EQ(*trackComment(record), "peak time");
    EXPECT_EQ(rowText(TrackEntry{"Artist", "Title", "/p", record}, 3), "peak time");
    library.setBpm(nullptr, 1.0f);
    library.setComment(nullptr, "nothing happens");
}

// The desk reads playlist files and dropped folders, and saves lists, on threads of their
// own: each answer takes effect when it comes, against the library as it is then.
TEST_F(MusicLibraryTest, ReadsOnAnotherThreadTakeEffectWhenTheirAnswerComes) {
    std::mutex mutex;
    std::condition_variable posted;
    std::deque<std::function<void()>> answers;
    LibraryDiskOnThreads disk([&](std::function<void()> answer) {
        std::lock_guard lock(mutex);
        answers.push_back(std::move(answer));
        posted.notify_all();
    });
    const auto answer = [&] {
        std::unique_lock lock(mutex);
        posted.wait(lock, [&] { return !answers.empty(); });
        std::function<void()> next = std::move(answers.front());
        answers.pop_front();
        lock.unlock();
        next();
    };
    library.setDisk(&disk);

    // The playlist feeds deck 1 from a playlist file: the deck is fed once it is read.
    fillPlaylist({playlistFile("set.m3u", {"a.mp3", "b.mp3", "c.mp3"}), track("d")});
    EXPECT_TRUE(library.loadNextFromPlaylist(0));
    EXPECT_TRUE(decks.loads.empty());
    answer();
    EXPECT_EQ(decks.loads, (std::vector<std::string>{"1 a", "2 b"}));
    EXPECT_EQ(titles(library.playlist()), (Titles{"c", "d"}));

    // A deck filled meanwhile keeps its track: the file's tracks wait at the top.
    fillPlaylist({playlistFile("more.m3u", {"e.mp3"})});
    decks.held = {false, false};
    library.playlist().remove(std::vector<int>{0, 1});
    EXPECT_TRUE(library.loadNextFromPlaylist(0));
    decks.loadOntoDeck(0, track("by hand"));
    answer();
    EXPECT_EQ(decks.loads.back(), "1 by hand");
    EXPECT_EQ(titles(library.playlist()), (Titles{"e"}));

    // A save whose playlist changed before the file was written keeps the playlist.
    library.savePlaylist(dir.file("saved.m3u"));
    library.insertIntoPlaylist(-1, {track("late")});
    answer();
    EXPECT_EQ(titles(library.playlist()), (Titles{"e", "late"}));
    EXPECT_FALSE(test::readFile(dir.file("saved.m3u")).empty());
    library.setDisk(nullptr);
}

TEST(LibraryRows, TextsOfTheColumnsAndTheTypedTempo) {
    TrackRecord record;
    const TrackEntry entry{"Artist", "Title", "/x.mp3", &record};
    EXPECT_EQ(rowText(entry, 0), "Title");
    EXPECT_EQ(rowText(entry, 1), "Artist");
    EXPECT_EQ(rowText(entry, 2), "");  // no tempo known: an empty cell
    record.bpm = 127.96f;
    EXPECT_EQ(rowText(entry, 2), "128.0");
    EXPECT_EQ(rowText(entry, 3), "");
    EXPECT_EQ(rowText(TrackEntry{"", "list.m3u", "/list.m3u", nullptr}, 2), "");

    EXPECT_EQ(parseBpmText("128.5"), 128.5f);
    EXPECT_EQ(parseBpmText(" 96bpm"), 96.0f);
    EXPECT_EQ(parseBpmText("123456789.5"), 123456789.0f);  // at most 9 characters are read
    EXPECT_EQ(parseBpmText("fast"), 0.0f);
    EXPECT_EQ(parseBpmText(""), 0.0f);
    EXPECT_EQ(parseBpmText("inf"), 0.0f);
    EXPECT_EQ(parseBpmText("nan"), 0.0f);
    EXPECT_EQ(parseBpmText("1e99"), 0.0f);
}

}  // namespace
}  // namespace spinlorex
