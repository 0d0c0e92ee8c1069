#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "library/TrackRecord.h"

namespace spinlorex {

// The icons of the library's rows: the track was played before, was never played, is in
// the history, or the row stands for a playlist file. History rows show none.
enum class RowIcon : int8_t {
    None = -1,
    Played = 0,
    NeverPlayed = 1,
    InHistory = 2,
    PlaylistFile = 3
};

// One row of a library list: the entry it owns and its icon.
struct LibraryRow {
    TrackEntry entry;
    RowIcon icon = RowIcon::None;
};

// The icon a row gets when it is inserted: a playlist file (no record), a track in the
// history, a track never played (lastUsedDate 0), else a track played before.
RowIcon iconFor(const TrackEntry& entry, bool inHistory);

// The lists' columns: the four every list has, then those a header menu adds from the
// tags and the analysis.
enum TrackColumn : int {
    kColumnTitle = 0,
    kColumnArtist = 1,
    kColumnBpm = 2,
    kColumnComment = 3,
    kColumnAlbum = 4,
    kColumnGenre = 5,
    kColumnYear = 6,
    kColumnKey = 7,
    kColumnLength = 8,
};
inline constexpr int kTrackColumns = 9;
inline constexpr int kFirstExtraColumn = kColumnAlbum;

// The text of a row's column: the title, the artist, the record's tempo with one decimal
// (empty when none is known), the record's comment; the album, genre and year of the tags;
// the track's key (trackKeyOf) as `notation` writes it; the tags' length as m:ss. Empty
// where nothing is known.
std::string rowText(const TrackEntry& entry, int column,
                    KeyNotation notation = KeyNotation::Camelot);

// Told of every change of a TrackList, before and after, so that a view's model can keep
// its rows in step. Main thread.
class TrackListObserver {
public:
    virtual ~TrackListObserver() = default;
    virtual void beforeInsert(int first, int count) = 0;
    virtual void afterInsert() = 0;
    virtual void beforeRemove(int first, int count) = 0;
    virtual void afterRemove() = 0;
    // Every row may have changed place or content.
    virtual void beforeReset() = 0;
    virtual void afterReset() = 0;
    // The texts or icons of rows first..last changed.
    virtual void rowsChanged(int first, int last) = 0;
};

// The rows of one library list (files, playlist, history), in display order. Main thread.
class TrackList {
public:
    void setObserver(TrackListObserver* observer) { observer_ = observer; }

    int size() const { return static_cast<int>(rows_.size()); }
    bool empty() const { return rows_.empty(); }
    const LibraryRow& row(int index) const { return rows_[static_cast<size_t>(index)]; }
    const std::vector<LibraryRow>& rows() const { return rows_; }

    // Inserts before `index` (clamped into 0..size), in order.
    void insert(int index, std::vector<LibraryRow> rows);
    // Removes and returns the row.
    LibraryRow take(int index);
    // Removes the rows at the given indexes (any order, duplicates and strays ignored).
    void remove(std::span<const int> indexes);
    void clear();
    // Replaces every row.
    void assign(std::vector<LibraryRow> rows);
    // Reorders the rows (the same rows, permuted by `reorder`).
    template <class Reorder>
    void reorder(Reorder&& reorder) {
        if (observer_ != nullptr) observer_->beforeReset();
        ++generation_;
        reorder(rows_);
        if (observer_ != nullptr) observer_->afterReset();
    }

    // Sets the icon of every row whose entry has `record`; true when any changed.
    bool setIcon(const TrackRecord* record, RowIcon icon);
    // The rows of `record` have new texts (a tempo or comment changed).
    void recordChanged(const TrackRecord* record);
    // Lets `change` edit each row's entry (not its place); it returns whether the row's
    // texts changed, and the observer hears of the rows that did.
    template <class Change>
    void changeEntries(Change&& change) {
        for (size_t i = 0; i < rows_.size(); ++i)
            if (change(rows_[i].entry) && observer_ != nullptr)
                observer_->rowsChanged(static_cast<int>(i), static_cast<int>(i));
    }
    // Whether any row's entry has `record` (never for none).
    bool holds(const TrackRecord* record) const;
    // Changes with every insertion, removal and reordering (not with texts or icons).
    uint64_t generation() const { return generation_; }

private:
    std::vector<LibraryRow> rows_;
    uint64_t generation_ = 0;
    TrackListObserver* observer_ = nullptr;
};

// The files list's sort keys: -1 most recently played first (after every fill), 0..3 by
// column ascending (the tempo: fastest first), 8..11 the same columns reversed; the added
// columns 16..20 ascending (the key: round the wheel, 1A 1B 2A...), 24..28 reversed. Rows
// without the value sorted by go last.
inline constexpr int kSortByLastPlayed = -1;
inline constexpr int kSortDescending = 8;
inline constexpr int kSortExtraColumns = 16;

// The key a click on `column` sets after `previous`: the column, or the column + 8 when
// the previous key was exactly that column (so a third click sorts as the first).
int nextSortKey(int previous, int column);

// Whether row a sorts before row b under `key`. Texts compare without regard to case;
// tempi to a hundredth of a BPM (truncated); rows without a record go last for the keys
// that read the record.
bool sortsBefore(int key, const LibraryRow& a, const LibraryRow& b);

// Sorts the rows by `key`, rows that compare equal keeping their order. By tempo, each
// row's tempo is read once before the sort, so one the sound thread changes meanwhile
// cannot disorder it.
void sortRows(std::vector<LibraryRow>& rows, int key);

}  // namespace spinlorex
