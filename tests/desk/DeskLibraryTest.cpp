// The desk with the program's own library (headless): the history's 40-second rule on
// virtual time, the playlist feeding the decks at the end of a mix, and the library's
// drag through the desk's mouse.

#include "desk/DeskRig.h"
#include "library/PlaylistFile.h"

namespace spinlorex::test {
namespace {

using DeskLibraryTest = DeskTest;

TrackEntry entry(DeskRig& rig, const std::string& title) {
    return TrackEntry{"Artist", title, title + ".mp3",
                      rig.database.findOrAdd(title + ".mp3", 1000)};
}

std::vector<std::string> titles(const TrackList& list) {
    std::vector<std::string> t;
    for (const LibraryRow& row : list.rows()) t.push_back(row.entry.title);
    return t;
}

TEST_F(DeskLibraryTest, ATrackEntersTheHistoryFortySecondsAfterItsLoadUnlessReplaced) {
    DeskRig rig(60, 60, 0, true);
    MusicLibrary& library = rig.music.library();
    library.files().assign({{entry(rig, "first"), RowIcon::NeverPlayed},
                            {entry(rig, "second"), RowIcon::NeverPlayed}});
    rig.call([&] { rig.desk.loadOntoDeck(0, library.files().row(0).entry); });
    rig.tick(39'990);
    EXPECT_TRUE(library.history().empty());
    // Replaced before its 40 s: only the second enters, 40 s after its own load.
    rig.call([&] { rig.desk.loadOntoDeck(0, library.files().row(1).entry); });
    rig.tick(39'990);
    EXPECT_TRUE(library.history().empty());
    rig.tick(10);
    EXPECT_EQ(titles(library.history()), std::vector<std::string>{"second"});
    EXPECT_FALSE(rig.timers.running(DeskTimers::kHistory1));
    EXPECT_FALSE(rig.deck(0).playing());  // it never played, and entered all the same
    EXPECT_EQ(library.files().row(1).icon, RowIcon::InHistory);
    EXPECT_EQ(library.files().row(0).icon, RowIcon::NeverPlayed);
    rig.tick(60'000);
    EXPECT_EQ(library.history().size(), 1);
}

TEST_F(DeskLibraryTest, ATrackThatCannotBeOpenedNeverEntersTheHistory) {
    DeskRig rig(0, 60, 0, true);  // deck 1's files cannot be opened
    MusicLibrary& library = rig.music.library();
    rig.call([&] { rig.desk.loadOntoDeck(0, entry(rig, "broken")); });
    EXPECT_EQ(rig.desk.deckInfo(0).status, kStatusCannotOpen);
    rig.tick(40'000);
    EXPECT_TRUE(library.history().empty());
}

TEST_F(DeskLibraryTest, ThePlaylistRefillsTheOutgoingDeckAtTheEndOfAMix) {
    DeskRig rig(60, 60, 0, true);
    MusicLibrary& library = rig.music.library();
    library.insertIntoPlaylist(-1, {entry(rig, "one"), entry(rig, "two"), entry(rig, "three")});
    set(settings().autoMix, 0);
    rig.call([&] { rig.desk.mix().toggleAutoMix(); });  // both decks were empty: both filled
    EXPECT_EQ(rig.desk.transport().titleLine2(0), "one");
    EXPECT_EQ(rig.desk.transport().titleLine2(1), "two");
    rig.call([&] {
        rig.desk.transport().playPause(0);
        rig.desk.mix().startMix(1);
    });
    rig.tick(32 * 200);
    EXPECT_FALSE(rig.desk.mix().running());
    EXPECT_EQ(rig.desk.transport().titleLine2(0),
              "three");  // the deck mixed out took the next track
    EXPECT_TRUE(library.playlist().empty());

    // The next mix finds the playlist empty: the outgoing deck stops.
    rig.call([&] {
        rig.desk.transport().playPause(0);
        rig.desk.mix().startMix(0);
    });
    rig.tick(32 * 200);
    EXPECT_LT(rig.deck(1).position(), 0.0f);
    EXPECT_EQ(rig.desk.transport().titleLine2(1), "two");
}

TEST_F(DeskLibraryTest, TheLibrarysDragEndsOnTheDeskWithTheDecksRules) {
    DeskRig rig(60, 60, 0, true);
    MusicLibrary& library = rig.music.library();
    library.files().assign({{entry(rig, "a"), RowIcon::Played},
                            {entry(rig, "b"), RowIcon::Played},
                            {entry(rig, "c"), RowIcon::Played}});
    const SkinControl& disc1 = rig.skin.control(ctl::Disc1);
    const SkinControl& disc2 = rig.skin.control(ctl::Disc2);

    // Three rows onto a free deck 1 while deck 2 is free.
    library.beginDrag(MusicLibrary::List::Files, std::vector<int>{0, 1, 2});
    EXPECT_TRUE(rig.music.dragActive());
    rig.move(disc1.hitLeft, disc1.hitTop);
    rig.up(disc1.hitLeft, disc1.hitTop);
    EXPECT_FALSE(rig.music.dragActive());
    EXPECT_EQ(rig.desk.transport().titleLine2(0), "a");
    EXPECT_EQ(rig.desk.transport().titleLine2(1), "b");
    EXPECT_EQ(titles(library.playlist()), std::vector<std::string>{"c"});

    // Onto a deck that is heard, with "Baby secure" 2: the entry is lost, the deck plays on.
    rig.call([&] { rig.deck(1).play(); });
    rig.play(100);
    ASSERT_TRUE(rig.desk.isAudible(1));
    set(settings().babySecure, 2);
    library.beginDrag(MusicLibrary::List::Playlist, std::vector<int>{0});
    EXPECT_TRUE(library.playlist().empty());
    rig.up(disc2.hitLeft, disc2.hitTop);
    EXPECT_EQ(rig.desk.transport().titleLine2(1), "b");
    EXPECT_TRUE(rig.deck(1).playing());
    EXPECT_TRUE(library.playlist().empty());
    EXPECT_TRUE(rig.shell.questions.empty());
}

}  // namespace
}  // namespace spinlorex::test
