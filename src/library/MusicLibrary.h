#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <random>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "library/FolderListing.h"
#include "library/LibraryDecks.h"
#include "library/LibraryDisk.h"
#include "library/TrackList.h"

namespace spinlorex {

class TagCache;
class TrackDatabase;

// The tempo typed into the "Bpm" dialog: its first 9 characters read as a number (as
// scanf's "%f" reads one); text that is not a number, and infinities and NaN, give 0.
float parseBpmText(std::string_view text);

// The library's lists of the files browser, as data: the files of the selected folder,
// the playlist and the history, with every rule that moves tracks between them and the
// decks (double-click, the playlist's feeding of the decks, the history, drag and drop).
// No windows: the desk's window shows these lists, and spinlorex-tool runs the same
// playlist headless.
//
// Main thread only.
class MusicLibrary {
public:
    enum class List { Files, Playlist, History };

    // Where a drop over the playlist area lands.
    struct PlaylistSpot {
        bool overPlaylist = true;  // false: another window covers the point
        int row = -1;              // the playlist row under the point, -1 for none
    };

    // The four cursors of a drag: a drop possible here or not, for one entry or several.
    enum class DragCursor { DropOne, DropSeveral, NoDropOne, NoDropSeveral };

    // What a drag of rows is over: a deck's drop zone (its information, title or disc),
    // the playlist, the button that shows the playlist, the rhythm window, or anything
    // else (which takes no rows).
    enum class DropZone { Elsewhere, Deck1, Deck2, Playlist, PlaylistButton, RhythmWindow };

    explicit MusicLibrary(TrackDatabase& database);
    MusicLibrary(const MusicLibrary&) = delete;
    MusicLibrary& operator=(const MusicLibrary&) = delete;

    // The desk, once it exists; until then nothing reaches a deck.
    void attach(LibraryDecks* decks) { decks_ = decks; }
    // How playlist files and dropped folders are read and lists saved (null: at once, on
    // this thread). The desk has it done on threads of their own: whatever waits for the
    // disk then takes effect when its answer comes.
    void setDisk(LibraryDisk* disk) { disk_ = disk != nullptr ? disk : &atOnce_; }
    LibraryDisk& disk() { return *disk_; }
    TrackDatabase& database() { return database_; }

    // Where the rows' tags come from (null: none; rows keep their file names' names).
    // Rows made from then on ask it for their files' tags.
    void setTagCache(TagCache* cache) { tags_ = cache; }
    // The rows' artist and title from their file names alone, tags aside (an option).
    void setFileNamesOnly(bool only);
    bool fileNamesOnly() const { return fileNamesOnly_; }
    // Tags read meanwhile: every row of their files takes them (the tag cache's thread
    // said some came).
    void applyTags();

    TrackList& list(List which);
    TrackList& files() { return files_; }
    TrackList& playlist() { return playlist_; }
    TrackList& history() { return history_; }

    // ---- Files list ----
    // Replaces the files list by the items of a folder: each track's record found by name
    // and size, icons by the row rule, sorted most recently played first.
    void fillFiles(const std::vector<FolderItem>& items);
    // The same fill a slice at a time, so that a folder of tens of thousands of files
    // never holds the thread up for long: begin, then step until it answers true (the
    // list is shown then). A new begin drops a fill under way, as does dropFilesFill.
    void beginFilesFill(std::vector<FolderItem> items);
    bool stepFilesFill(size_t rows);
    void dropFilesFill();
    bool fillingFiles() const { return fill_.has_value(); }
    int sortKey() const { return sortKey_; }
    // A click on a column header of the files list (TrackList.h's columns).
    void sortFiles(int column);

    // ---- Playlist ----
    // Inserts entries before `index` (-1 or past the end: at the end), icons by the rule.
    void insertIntoPlaylist(int index, std::vector<TrackEntry> entries);
    // Feeds a deck from the top of the playlist; see the .cpp. False when nothing was
    // loaded. With "CompatibleFirst" the first track whose key mixes with the other deck's
    // comes to the top first, when there is one.
    bool loadNextFromPlaylist(int deck);
    // The deck could not load the track at `path`. When the playlist fed the deck that
    // track, its next one goes there (rows that give nothing are used up as above).
    void loadFailed(int deck, const std::string& path);
    void shufflePlaylist();
    // Removes every track already in the history (playlist-file rows stay).
    void removePlayedFromPlaylist();
    // Writes the playlist as an M3U file (playlist files expanded into their tracks) and,
    // once written, leaves in the playlist only a row for the saved file (when the playlist
    // changed meanwhile, it stays as it now is). `done` is told whether the file was
    // written; the playlist stays unchanged when it was not.
    void savePlaylist(const std::string& path, LibraryDisk::Written done = nullptr);
    // Files and folders dropped from a file manager: tracks as they are, folders as their
    // tracks in name order, playlist files as their tracks; inserted before `index`.
    void dropPathsOnPlaylist(int index, const std::vector<std::string>& paths);

    // ---- History ----
    // The deck's track has been loaded for 40 s: a copy goes to the top of the history
    // and its rows elsewhere are marked. Nothing for a deck holding no open track.
    void addToHistory(int deck);
    bool isInHistory(const TrackRecord* record) const;
    // The icon of the record's rows in the files list and the playlist: in the history,
    // or played.
    void setHistoryMark(const TrackRecord* record, bool on);
    // Writes the history's paths, oldest first, CR LF after each; `done` is told whether
    // the file was written.
    void saveHistory(const std::string& path, LibraryDisk::Written done = nullptr);

    // ---- Any list ----
    // The Delete key: removes rows of the playlist or the history (the history's records
    // lose their mark, even when another row still holds them). Other lists keep theirs.
    void removeRows(List which, std::span<const int> rows);
    // A double-click (or Enter) on a row of the files list, the playlist or the history.
    void chooseEntry(List which, int row);
    // A row put on a chosen deck (a controller's load button): as a drop on that deck, a
    // playlist row leaving the playlist.
    void loadRowOnto(List which, int row, int deck);
    // An entry made for it (a search result) put on a chosen deck, as a drop there.
    void loadEntryOnto(TrackEntry entry, int deck);
    // The "Bpm" and "Comment" dialogs' OK: the record changes, its analysis block is taken
    // and released (which stores the record unless a deck holds it) and its rows show it.
    void setBpm(TrackRecord* record, float bpm);
    void setComment(TrackRecord* record, const std::string& comment);
    // Every row of the record shows its texts anew (its tempo was measured meanwhile).
    void recordChanged(const TrackRecord* record);

    // ---- The library's own drag ----
    // Takes the rows (moved out of the playlist, copied from other lists).
    void beginDrag(List from, std::span<const int> rows);
    // Takes entries made for the drag (the search results' rows); none: no drag.
    void beginDrag(std::vector<TrackEntry> entries);
    bool dragActive() const { return !dragged_.empty(); }
    int dragCount() const { return static_cast<int>(dragged_.size()); }
    // The cursor over a zone (the decks not heard, the playlist, the playlist's button and
    // the rhythm window take drops).
    DragCursor dragCursor(DropZone zone) const;
    // The release over a zone; ends the drag.
    void dropOnDeck(DropZone zone, PlaylistSpot spot);
    // Ends a drag without a drop: the entries are gone (rows taken from the playlist too).
    void cancelDrag() { dragged_.clear(); }

    // Seeds the shuffle (tests).
    void seed(uint32_t value) { random_.seed(value); }

    // Tells the user (through the desk) why playlist files gave nothing.
    void tellErrors(const FoundTracks& found);
    // The rows of found tracks: names from the file names, records by name and size.
    std::vector<TrackEntry> entriesOf(const FoundTracks& found);

private:
    // "CompatibleFirst": the playlist's first track that mixes with the other deck's key
    // moves to the top.
    void bringCompatibleForward(int deck);
    std::vector<LibraryRow> rowsFor(std::vector<TrackEntry> entries) const;
    // Gives the entry `tags` and the names they call for.
    void nameByTags(TrackEntry& entry, std::shared_ptr<const TrackTags> tags) const;
    // Asks the tag cache for the rows' files; those already known take their tags now.
    void askTags(std::vector<LibraryRow>& rows) const;
    // Loads a dragged entry or the tracks of a playlist file: the first on `deck`, the
    // second on the other deck when that one is free; the rest into the playlist at `k`.
    void placeDropped(int deck, std::vector<TrackEntry> entries, int k);
    bool loadWithConsent(int deck, const TrackEntry& entry);
    // A playlist file's tracks read for the deck: loaded as loadTracks does; true when the
    // deck holds (or opens) a track then.
    bool placePlaylistTracks(int deck, const FoundTracks& found);
    // False when there was no track to load.
    bool loadTracks(int deck, std::vector<TrackEntry> tracks, bool secondToOther, int& k);

    TrackDatabase& database_;
    LibraryDecks* decks_ = nullptr;
    LibraryDiskAtOnce atOnce_;
    LibraryDisk* disk_ = &atOnce_;
    TagCache* tags_ = nullptr;
    bool fileNamesOnly_ = false;
    TrackList files_;
    TrackList playlist_;
    TrackList history_;
    struct FilesFill {
        std::vector<FolderItem> items;
        std::vector<LibraryRow> rows;
    };
    std::optional<FilesFill> fill_;
    int sortKey_ = kSortByLastPlayed;
    std::vector<TrackEntry> dragged_;
    // The track the playlist last gave each deck, while its load may still fail.
    std::array<std::string, 2> fedFromPlaylist_;
    std::mt19937 random_{std::random_device{}()};
};

}  // namespace spinlorex
