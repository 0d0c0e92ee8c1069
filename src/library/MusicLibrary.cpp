#include "library/MusicLibrary.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <optional>
#include <string_view>
#include <unordered_map>

#include "library/AudioFileTypes.h"
#include "library/PlaylistFile.h"
#include "library/TagCache.h"
#include "library/TrackDatabase.h"
#include "library/TrackMeasures.h"
#include "library/TrackNaming.h"

namespace spinlorex {

namespace {

// The deck whose drop zone it is, or -1.
int deckOf(MusicLibrary::DropZone zone) {
    if (zone == MusicLibrary::DropZone::Deck1) return 0;
    if (zone == MusicLibrary::DropZone::Deck2) return 1;
    return -1;
}

// Valid row indexes, ascending, each once.
std::vector<int> ascending(std::span<const int> rows, int size) {
    std::vector<int> sorted;
    for (int r : rows)
        if (r >= 0 && r < size) sorted.push_back(r);
    std::ranges::sort(sorted);
    sorted.erase(std::unique(sorted.begin(), sorted.end()), sorted.end());
    return sorted;
}

}  // namespace

float parseBpmText(std::string_view text) {
    const std::string first(text.substr(0, 9));
    float value = 0.0f;
    if (std::sscanf(first.c_str(), "%f", &value) != 1 || !std::isfinite(value)) return 0.0f;
    return value;
}

MusicLibrary::MusicLibrary(TrackDatabase& database) : database_(database) {}

TrackList& MusicLibrary::list(List which) {
    switch (which) {
        case List::Playlist:
            return playlist_;
        case List::History:
            return history_;
        default:
            return files_;
    }
}

std::vector<LibraryRow> MusicLibrary::rowsFor(std::vector<TrackEntry> entries) const {
    std::vector<LibraryRow> rows;
    rows.reserve(entries.size());
    for (TrackEntry& entry : entries) {
        const RowIcon icon = iconFor(entry, isInHistory(entry.record));
        rows.push_back({std::move(entry), icon});
    }
    askTags(rows);
    return rows;
}

// ---------------------------------------------------------------------------------------
// Tags

void MusicLibrary::nameByTags(TrackEntry& entry, std::shared_ptr<const TrackTags> tags) const {
    entry.tags = std::move(tags);
    // Rows without tags keep the names they were made with (a shortcut's display name).
    if (!entry.tags || !entry.tags->named()) return;
    ArtistTitle names = shownArtistTitle(entry.tags.get(), fileNameOf(entry.path), fileNamesOnly_);
    entry.artist = std::move(names.artist);
    entry.title = std::move(names.title);
}

void MusicLibrary::askTags(std::vector<LibraryRow>& rows) const {
    if (tags_ == nullptr) return;
    std::vector<std::string> paths;
    paths.reserve(rows.size());
    for (LibraryRow& row : rows) {
        if (row.entry.record == nullptr) continue;  // a playlist file
        if (auto known = tags_->tags(row.entry.path)) nameByTags(row.entry, std::move(known));
        paths.push_back(row.entry.path);
    }
    tags_->request(paths);
}

void MusicLibrary::applyTags() {
    if (tags_ == nullptr) return;
    const std::vector<TagCache::Found> found = tags_->take();
    if (found.empty()) return;
    std::unordered_map<std::string_view, const TagCache::Found*> byPath;
    for (const TagCache::Found& f : found) byPath[f.path] = &f;
    const auto take = [&](TrackEntry& entry) {
        const auto at = byPath.find(entry.path);
        if (at == byPath.end() || entry.record == nullptr) return false;
        nameByTags(entry, at->second->tags);
        return true;
    };
    files_.changeEntries(take);
    playlist_.changeEntries(take);
    history_.changeEntries(take);
    if (fill_)
        for (LibraryRow& row : fill_->rows) take(row.entry);
}

void MusicLibrary::setFileNamesOnly(bool only) {
    if (only == fileNamesOnly_) return;
    fileNamesOnly_ = only;
    const auto rename = [&](TrackEntry& entry) {
        if (!entry.tags || !entry.tags->named()) return false;
        ArtistTitle names = shownArtistTitle(entry.tags.get(), fileNameOf(entry.path), only);
        entry.artist = std::move(names.artist);
        entry.title = std::move(names.title);
        return true;
    };
    files_.changeEntries(rename);
    playlist_.changeEntries(rename);
    history_.changeEntries(rename);
}

// ---------------------------------------------------------------------------------------
// Files list

void MusicLibrary::fillFiles(const std::vector<FolderItem>& items) {
    beginFilesFill(items);
    stepFilesFill(items.size());
}

void MusicLibrary::beginFilesFill(std::vector<FolderItem> items) {
    fill_.emplace();
    fill_->rows.reserve(items.size());
    fill_->items = std::move(items);
}

bool MusicLibrary::stepFilesFill(size_t count) {
    if (!fill_) return true;
    std::vector<LibraryRow>& rows = fill_->rows;
    const std::vector<FolderItem>& items = fill_->items;
    const size_t end = std::min(items.size(), rows.size() + count);
    for (size_t i = rows.size(); i < end; ++i) {
        const FolderItem& item = items[i];
        TrackEntry entry;
        entry.path = item.path;
        if (item.playlist) {
            entry.title = item.displayName;
        } else {
            ArtistTitle names = splitArtistTitle(item.displayName);
            entry.artist = std::move(names.artist);
            entry.title = std::move(names.title);
            entry.record = database_.findOrAdd(item.path, item.size);
        }
        const RowIcon icon = iconFor(entry, isInHistory(entry.record));
        rows.push_back({std::move(entry), icon});
    }
    if (rows.size() < items.size()) return false;
    std::vector<LibraryRow> shown = std::move(rows);
    fill_.reset();
    // The names come first; the tags follow as the cache's thread reads them.
    askTags(shown);
    sortKey_ = kSortByLastPlayed;
    sortRows(shown, sortKey_);
    files_.assign(std::move(shown));
    return true;
}

void MusicLibrary::dropFilesFill() { fill_.reset(); }

void MusicLibrary::sortFiles(int column) {
    sortKey_ = nextSortKey(sortKey_, column);
    files_.reorder([key = sortKey_](std::vector<LibraryRow>& rows) { sortRows(rows, key); });
}

// ---------------------------------------------------------------------------------------
// Playlist

void MusicLibrary::insertIntoPlaylist(int index, std::vector<TrackEntry> entries) {
    if (index < 0 || index > playlist_.size()) index = playlist_.size();
    playlist_.insert(index, rowsFor(std::move(entries)));
}

bool MusicLibrary::loadTracks(int deck, std::vector<TrackEntry> tracks, bool secondToOther,
                              int& k) {
    if (tracks.empty()) return false;
    decks_->loadOntoDeck(deck, tracks[0]);
    size_t next = 1;
    if (secondToOther && tracks.size() > 1 && !decks_->holdsTrack(1 - deck))
        decks_->loadOntoDeck(1 - deck, tracks[next++]);
    std::vector<TrackEntry> rest(std::make_move_iterator(tracks.begin() + static_cast<long>(next)),
                                 std::make_move_iterator(tracks.end()));
    const int count = static_cast<int>(rest.size());
    insertIntoPlaylist(k, std::move(rest));
    k += count;
    return true;
}

// The top row feeds the deck: a track is loaded; a playlist file gives its first track to
// the deck, its second to the other deck when that one holds no track, and the rest take
// its place at the top. Rows that give the deck nothing (a file that cannot be opened, an
// empty or unreadable playlist file) are used up and the next row is tried, so that an
// unattended playlist plays on past them. A playlist file read on another thread feeds
// the deck when its answer comes (true: the deck will be fed).
void MusicLibrary::bringCompatibleForward(int deck) {
    const auto playing = decks_->currentKey(1 - deck);
    if (!playing) return;
    for (int i = 0; i < playlist_.size(); ++i) {
        const TrackEntry& entry = playlist_.row(i).entry;
        if (entry.record == nullptr) continue;
        const auto key = trackKeyOf(entry.record, entry.tags.get());
        if (!key || !keysCompatible(*playing, *key)) continue;
        if (i > 0) playlist_.insert(0, {playlist_.take(i)});
        return;
    }
}

bool MusicLibrary::loadNextFromPlaylist(int deck) {
    if (decks_ == nullptr || (deck != 0 && deck != 1)) return false;
    // Set only once a load is under way: a load that fails at once is skipped right here.
    fedFromPlaylist_[static_cast<size_t>(deck)].clear();
    if (decks_->rules().compatibleFirst) bringCompatibleForward(deck);
    while (!playlist_.empty()) {
        LibraryRow top = playlist_.take(0);
        if (top.entry.record != nullptr) {
            decks_->loadOntoDeck(deck, top.entry);
            // A deck that took a track holds it (or is opening it: a failure comes back
            // through loadFailed); one whose file could not be opened holds none.
            if (decks_->holdsTrack(deck)) {
                fedFromPlaylist_[static_cast<size_t>(deck)] = top.entry.path;
                return true;
            }
            continue;
        }
        // Answered at once, the loop goes on with it; answered later, the answer feeds the
        // deck then (when nothing else filled it meanwhile).
        struct Answer {
            bool later = false;
            std::optional<FoundTracks> found;
        };
        auto answer = std::make_shared<Answer>();
        disk_->find({top.entry.path}, [this, deck, answer](FoundTracks found) {
            if (!answer->later) {
                answer->found = std::move(found);
            } else if (decks_ != nullptr && decks_->holdsTrack(deck)) {
                tellErrors(found);
                insertIntoPlaylist(0, entriesOf(found));
            } else if (!placePlaylistTracks(deck, found)) {
                loadNextFromPlaylist(deck);
            }
        });
        if (!answer->found) {
            answer->later = true;
            return true;
        }
        if (placePlaylistTracks(deck, *answer->found)) return true;
    }
    return false;
}

bool MusicLibrary::placePlaylistTracks(int deck, const FoundTracks& found) {
    tellErrors(found);
    std::vector<TrackEntry> tracks = entriesOf(found);
    const std::string first = tracks.empty() ? std::string() : tracks.front().path;
    int k = 0;
    if (!loadTracks(deck, std::move(tracks), true, k) || !decks_->holdsTrack(deck)) return false;
    fedFromPlaylist_[static_cast<size_t>(deck)] = first;
    return true;
}

void MusicLibrary::tellErrors(const FoundTracks& found) {
    if (decks_ == nullptr || found.errors.empty()) return;
    std::string text;
    for (const std::string& error : found.errors) text += (text.empty() ? "" : "\n") + error;
    decks_->tell(text);
}

std::vector<TrackEntry> MusicLibrary::entriesOf(const FoundTracks& found) {
    return playlistTrackEntries(found.tracks, database_);
}

void MusicLibrary::loadFailed(int deck, const std::string& path) {
    if (deck != 0 && deck != 1) return;
    std::string& fed = fedFromPlaylist_[static_cast<size_t>(deck)];
    if (fed.empty() || fed != path) return;
    fed.clear();
    loadNextFromPlaylist(deck);
}

void MusicLibrary::shufflePlaylist() {
    playlist_.reorder(
        [this](std::vector<LibraryRow>& rows) { std::shuffle(rows.begin(), rows.end(), random_); });
}

void MusicLibrary::removePlayedFromPlaylist() {
    std::vector<int> played;
    for (int i = 0; i < playlist_.size(); ++i)
        if (isInHistory(playlist_.row(i).entry.record)) played.push_back(i);
    playlist_.remove(played);
}

void MusicLibrary::savePlaylist(const std::string& path, LibraryDisk::Written done) {
    std::vector<std::string> paths;
    for (const LibraryRow& row : playlist_.rows()) paths.push_back(row.entry.path);
    const uint64_t saved = playlist_.generation();
    disk_->saveM3u(std::move(paths), path, [this, path, saved, done](bool written) {
        // The rows go only once their paths are safely in the file, and only while they
        // are still the rows that were saved.
        if (written && playlist_.generation() == saved) {
            playlist_.clear();
            TrackEntry file;
            file.title = fileNameOf(path);
            file.path = path;
            insertIntoPlaylist(0, {std::move(file)});
        }
        if (done) done(written);
    });
}

void MusicLibrary::dropPathsOnPlaylist(int index, const std::vector<std::string>& paths) {
    disk_->find(paths, [this, index](FoundTracks found) {
        tellErrors(found);
        insertIntoPlaylist(index, entriesOf(found));
    });
}

// ---------------------------------------------------------------------------------------
// History

void MusicLibrary::addToHistory(int deck) {
    if (decks_ == nullptr) return;
    const TrackEntry* track = decks_->openTrack(deck);
    if (track == nullptr) return;
    const TrackEntry copy = *track;
    history_.insert(0, {LibraryRow{copy, RowIcon::None}});
    setHistoryMark(copy.record, true);
}

bool MusicLibrary::isInHistory(const TrackRecord* record) const { return history_.holds(record); }

void MusicLibrary::setHistoryMark(const TrackRecord* record, bool on) {
    const RowIcon icon = on ? RowIcon::InHistory : RowIcon::Played;
    files_.setIcon(record, icon);
    playlist_.setIcon(record, icon);
}

void MusicLibrary::saveHistory(const std::string& path, LibraryDisk::Written done) {
    std::vector<std::string> paths;
    for (auto it = history_.rows().rbegin(); it != history_.rows().rend(); ++it)
        paths.push_back(it->entry.path);
    disk_->write(path, historyText(paths), [done](bool written) {
        if (done) done(written);
    });
}

// ---------------------------------------------------------------------------------------
// Any list

void MusicLibrary::removeRows(List which, std::span<const int> rows) {
    if (which == List::History) {
        for (int r : ascending(rows, history_.size()))
            setHistoryMark(history_.row(r).entry.record, false);
        history_.remove(rows);
    } else if (which == List::Playlist) {
        playlist_.remove(rows);
    }
}

void MusicLibrary::chooseEntry(List which, int row) {
    TrackList& rows = list(which);
    if (decks_ == nullptr || row < 0 || row >= rows.size()) return;
    const TrackEntry entry = rows.row(row).entry;
    const bool inPlaylist = which == List::Playlist;
    const int s = decks_->selectedDeck();
    const int o = 1 - s;
    const bool selectedFree = !decks_->isBusy(s);
    const bool otherFree = !decks_->isBusy(o);

    if (entry.record != nullptr) {
        if (selectedFree || otherFree) {
            decks_->loadOntoDeck(selectedFree ? s : o, entry);
            if (inPlaylist) playlist_.take(row);
        } else if (!inPlaylist) {
            insertIntoPlaylist(-1, {entry});
        }
        return;
    }
    // A playlist file: in the playlist its tracks take its place; elsewhere they go to the
    // free decks (as they are when the file has been read) and the rest to the playlist.
    if (inPlaylist) {
        playlist_.take(row);
        disk_->find({entry.path}, [this, row](FoundTracks found) {
            tellErrors(found);
            insertIntoPlaylist(row, entriesOf(found));
        });
        return;
    }
    disk_->find({entry.path}, [this](FoundTracks found) {
        tellErrors(found);
        std::vector<TrackEntry> tracks = entriesOf(found);
        if (decks_ == nullptr) return;
        const int sel = decks_->selectedDeck();
        const int oth = 1 - sel;
        const bool selFree = !decks_->isBusy(sel);
        const bool othFree = !decks_->isBusy(oth);
        size_t next = 0;
        if (selFree && next < tracks.size()) decks_->loadOntoDeck(sel, tracks[next++]);
        if (othFree && next < tracks.size()) decks_->loadOntoDeck(oth, tracks[next++]);
        insertIntoPlaylist(
            -1, std::vector<TrackEntry>(tracks.begin() + static_cast<long>(next), tracks.end()));
    });
}

void MusicLibrary::setBpm(TrackRecord* record, float bpm) {
    if (record == nullptr) return;
    TrackAnalysis* analysis = database_.acquireAnalysis(record);
    // A deck holding the block writes it on its sound thread; else it is ours to write.
    if (decks_ == nullptr || !decks_->setTempoByHand(record, bpm)) setHandTempo(*analysis, bpm);
    database_.releaseAnalysis(record);
    recordChanged(record);
}

void MusicLibrary::setComment(TrackRecord* record, const std::string& comment) {
    if (record == nullptr) return;
    record->commentOverride = comment;
    database_.acquireAnalysis(record);
    database_.releaseAnalysis(record);
    recordChanged(record);
}

void MusicLibrary::recordChanged(const TrackRecord* record) {
    files_.recordChanged(record);
    playlist_.recordChanged(record);
    history_.recordChanged(record);
}

// ---------------------------------------------------------------------------------------
// Drag and drop

void MusicLibrary::beginDrag(List from, std::span<const int> rows) {
    TrackList& source = list(from);
    const std::vector<int> picked = ascending(rows, source.size());
    if (picked.empty()) return;
    dragged_.clear();
    for (int r : picked) dragged_.push_back(source.row(r).entry);
    // Rows dragged out of the playlist move: they live on only in the drag.
    if (from == List::Playlist) playlist_.remove(picked);
}

void MusicLibrary::beginDrag(std::vector<TrackEntry> entries) {
    if (!entries.empty()) dragged_ = std::move(entries);
}

MusicLibrary::DragCursor MusicLibrary::dragCursor(DropZone zone) const {
    const int deck = deckOf(zone);
    const bool takes = (deck >= 0 && decks_ != nullptr && !decks_->isAudible(deck)) ||
                       zone == DropZone::Playlist || zone == DropZone::PlaylistButton ||
                       zone == DropZone::RhythmWindow;
    const bool one = dragged_.size() == 1;
    if (takes) return one ? DragCursor::DropOne : DragCursor::DropSeveral;
    return one ? DragCursor::NoDropOne : DragCursor::NoDropSeveral;
}

void MusicLibrary::dropOnDeck(DropZone zone, PlaylistSpot spot) {
    std::vector<TrackEntry> entries = std::move(dragged_);
    dragged_.clear();
    if (decks_ == nullptr || entries.empty()) return;

    int deck = deckOf(zone);
    int k = 0;
    if (deck < 0) {
        if (zone == DropZone::Playlist) {
            if (!spot.overPlaylist) return;
            if (spot.row >= 0) {
                insertIntoPlaylist(spot.row, std::move(entries));
                return;
            }
        } else if (zone != DropZone::PlaylistButton && zone != DropZone::RhythmWindow) {
            return;  // dropped nowhere: the entries are gone
        }
        k = playlist_.size();
        const bool rhythm = zone == DropZone::RhythmWindow;
        if (!rhythm && (!playlist_.empty() || !decks_->rules().autoMix)) {
            insertIntoPlaylist(k, std::move(entries));
            return;
        }
        const int s = decks_->selectedDeck();
        if (!decks_->holdsTrack(s)) {
            deck = s;
        } else if (!decks_->holdsTrack(1 - s)) {
            deck = 1 - s;
        } else {
            insertIntoPlaylist(k, std::move(entries));
            return;
        }
    }
    placeDropped(deck, std::move(entries), k);
}

void MusicLibrary::placeDropped(int deck, std::vector<TrackEntry> entries, int k) {
    // A playlist file among the first two waits for its tracks; what follows it goes to
    // the playlist with them.
    const auto placeList = [this, k](int onto, std::vector<TrackEntry> rest, bool secondToOther) {
        const std::string list = rest.front().path;
        rest.erase(rest.begin());
        disk_->find({list}, [this, onto, k, secondToOther,
                             rest = std::move(rest)](FoundTracks found) mutable {
            tellErrors(found);
            int at = k;
            if (decks_ != nullptr) loadTracks(onto, entriesOf(found), secondToOther, at);
            insertIntoPlaylist(at, std::move(rest));
        });
    };
    if (entries[0].record == nullptr) {
        placeList(deck, std::move(entries), true);
        return;
    }
    loadWithConsent(deck, entries[0]);  // a refused track is dropped
    entries.erase(entries.begin());
    if (!entries.empty() && !decks_->holdsTrack(1 - deck)) {
        if (entries[0].record == nullptr) {
            placeList(1 - deck, std::move(entries), false);
            return;
        }
        decks_->loadOntoDeck(1 - deck, entries[0]);
        entries.erase(entries.begin());
    }
    insertIntoPlaylist(k, std::move(entries));
}

void MusicLibrary::loadRowOnto(List which, int row, int deck) {
    TrackList& rows = list(which);
    if (decks_ == nullptr || row < 0 || row >= rows.size()) return;
    TrackEntry entry = rows.row(row).entry;
    const bool inPlaylist = which == List::Playlist;
    if (entry.record == nullptr) {
        // A playlist file: its tracks as if it were dropped there, the rest in its place.
        if (inPlaylist) playlist_.take(row);
        placeDropped(deck, {std::move(entry)}, inPlaylist ? row : -1);
        return;
    }
    // A refused track stays where it is.
    if (loadWithConsent(deck, entry) && inPlaylist) playlist_.take(row);
}

void MusicLibrary::loadEntryOnto(TrackEntry entry, int deck) {
    if (decks_ == nullptr || entry.path.empty()) return;
    placeDropped(deck, {std::move(entry)}, -1);
}

bool MusicLibrary::loadWithConsent(int deck, const TrackEntry& entry) {
    if (decks_->isAudible(deck)) {
        // "Baby secure": 0 replaces, 1 asks, anything else keeps the playing track.
        const int32_t rule = decks_->rules().babySecure;
        if (rule != 0 && (rule != 1 || !decks_->askYesNo(kReplaceQuestion))) return false;
    }
    decks_->loadOntoDeck(deck, entry);
    return true;
}

}  // namespace spinlorex
