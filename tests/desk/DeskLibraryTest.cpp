// The desk with the program's own library (headless): the history's 40-second rule on
// virtual time, the playlist feeding the decks at the end of a mix, and the library's
// drag through the desk's mouse.

#include "desk/DeskRig.h"
#include "library/PlaylistFile.h"
#include "support/ConstantReader.h"

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

// A controller's load button: a row onto the deck it names, "Baby secure" as for drops; a
// playlist row leaves the playlist only once loaded.
TEST_F(DeskLibraryTest, AControllersLoadPutsTheRowOnItsDeckAndKeepsARefusedPlaylistRow) {
    DeskRig rig(60, 60, 0, true);
    MusicLibrary& library = rig.music.library();
    library.insertIntoPlaylist(-1, {entry(rig, "one"), entry(rig, "two")});
    rig.call([&] { library.loadRowOnto(MusicLibrary::List::Playlist, 1, 1); });
    EXPECT_EQ(rig.desk.transport().titleLine2(1), "two");
    EXPECT_TRUE(rig.desk.transport().titleLine2(0).empty());
    EXPECT_EQ(titles(library.playlist()), std::vector<std::string>{"one"});

    rig.call([&] { rig.deck(1).play(); });
    rig.play(100);
    set(settings().babySecure, 2);
    rig.call([&] { library.loadRowOnto(MusicLibrary::List::Playlist, 0, 1); });
    EXPECT_EQ(rig.desk.transport().titleLine2(1), "two");
    EXPECT_EQ(titles(library.playlist()), std::vector<std::string>{"one"});
}

// The preview in the headphones starts at the stored grid's first beat and loads no deck,
// enters no history and leaves the record's played date alone; V away from the lists stops
// it. Without headphones the desk says so and plays nothing.
TEST_F(DeskLibraryTest, APreviewLoadsNoDeckEntersNoHistoryAndMarksNothingPlayed) {
    DeskRig rig(60, 60, 7, true);  // mode 7: speakers and headphones on one card
    MusicLibrary& library = rig.music.library();
    library.files().assign({{entry(rig, "first"), RowIcon::NeverPlayed}});
    TrackRecord* record = library.files().row(0).entry.record;
    auto grid = std::make_shared<BeatGrid>();
    grid->sections.push_back({0.0, 2.5, 0.5});
    attachGrid(*record, grid);

    // The reader tells where the preview's worker sought.
    class SeekingReader : public ConstantReader {
    public:
        explicit SeekingReader(std::atomic<int64_t>& to) : ConstantReader(900, 900), to_(to) {}
        int32_t seekFrame(int64_t frame) override {
            to_ = frame;
            return ConstantReader::seekFrame(frame);
        }

    private:
        std::atomic<int64_t>& to_;
    };
    std::atomic<int64_t> soughtTo{-1};
    DeskPreview& preview = rig.desk.preview();
    preview.setReaders(
        [&](const std::string&) { return std::make_unique<SeekingReader>(soughtTo); });
    rig.call([&] { preview.toggle(library.files().row(0).entry); });
    EXPECT_TRUE(preview.playing());
    EXPECT_EQ(preview.path(), "first.mp3");
    while (rig.decks.preview().buffered() == 0) std::this_thread::yield();
    EXPECT_EQ(soughtTo.load(), int64_t{110250});  // 2.5 s
    rig.play(500);
    rig.tick(40'000);
    EXPECT_TRUE(library.history().empty());
    EXPECT_EQ(library.files().row(0).icon, RowIcon::NeverPlayed);
    EXPECT_EQ(record->lastUsedDate, 0u);
    EXPECT_FALSE(rig.desk.holdsTrack(0));
    EXPECT_FALSE(rig.desk.holdsTrack(1));
    EXPECT_TRUE(preview.playing());
    EXPECT_TRUE(rig.key('V'));
    EXPECT_FALSE(preview.playing());
    EXPECT_TRUE(rig.shell.told.empty());

    set(settings().outputMode, 0);
    rig.call([&] { preview.toggle(library.files().row(0).entry); });
    EXPECT_FALSE(preview.playing());
    EXPECT_EQ(rig.shell.told, std::vector<std::string>{DeskPreview::kNoHeadphones});
}

}  // namespace
}  // namespace spinlorex::test
