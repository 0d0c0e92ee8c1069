#include "library/TrackList.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <iterator>
#include <string>

#include "library/TrackTags.h"
#include "platform/core/AsciiText.h"

namespace spinlorex {

RowIcon iconFor(const TrackEntry& entry, bool inHistory) {
    if (entry.record == nullptr) return RowIcon::PlaylistFile;
    if (inHistory) return RowIcon::InHistory;
    return entry.record->lastUsedDate == 0 ? RowIcon::NeverPlayed : RowIcon::Played;
}

std::string rowText(const TrackEntry& entry, int column, KeyNotation notation) {
    switch (column) {
        case 0:
            return entry.title;
        case 1:
            return entry.artist;
        case 2: {
            const float bpm = entry.record != nullptr ? entry.record->shownBpm() : 0.0f;
            if (bpm == 0.0f) return {};
            char text[32];
            std::snprintf(text, sizeof text, "%.1f", static_cast<double>(bpm));
            return text;
        }
        case kColumnComment: {
            const std::string* comment = trackComment(entry.record);
            return comment != nullptr ? *comment : std::string();
        }
        case kColumnKey: {
            const auto key = trackKeyOf(entry.record, entry.tags.get());
            return key ? keyText(*key, notation) : std::string();
        }
        default:
            break;
    }
    const TrackTags* tags = entry.tags.get();
    if (tags == nullptr) return {};
    switch (column) {
        case kColumnAlbum:
            return tags->album;
        case kColumnGenre:
            return tags->genre;
        case kColumnYear:
            return tags->year > 0 ? std::to_string(tags->year) : std::string();
        case kColumnLength: {
            if (tags->seconds <= 0) return {};
            char text[32];
            std::snprintf(text, sizeof text, "%d:%02d", tags->seconds / 60, tags->seconds % 60);
            return text;
        }
        default:
            return {};
    }
}

void TrackList::insert(int index, std::vector<LibraryRow> rows) {
    if (rows.empty()) return;
    index = std::clamp(index, 0, size());
    if (observer_ != nullptr) observer_->beforeInsert(index, static_cast<int>(rows.size()));
    ++generation_;
    rows_.insert(rows_.begin() + index, std::make_move_iterator(rows.begin()),
                 std::make_move_iterator(rows.end()));
    if (observer_ != nullptr) observer_->afterInsert();
}

LibraryRow TrackList::take(int index) {
    if (observer_ != nullptr) observer_->beforeRemove(index, 1);
    ++generation_;
    LibraryRow row = std::move(rows_[static_cast<size_t>(index)]);
    rows_.erase(rows_.begin() + index);
    if (observer_ != nullptr) observer_->afterRemove();
    return row;
}

void TrackList::remove(std::span<const int> indexes) {
    std::vector<int> sorted(indexes.begin(), indexes.end());
    std::erase_if(sorted, [&](int i) { return i < 0 || i >= size(); });
    std::ranges::sort(sorted);
    sorted.erase(std::unique(sorted.begin(), sorted.end()), sorted.end());
    // From the last: each run of neighbouring rows goes in one step.
    while (!sorted.empty()) {
        const int last = sorted.back();
        int first = last;
        while (!sorted.empty() && sorted.back() == first) {
            sorted.pop_back();
            --first;
        }
        ++first;
        if (observer_ != nullptr) observer_->beforeRemove(first, last - first + 1);
        ++generation_;
        rows_.erase(rows_.begin() + first, rows_.begin() + last + 1);
        if (observer_ != nullptr) observer_->afterRemove();
    }
}

void TrackList::clear() { assign({}); }

void TrackList::assign(std::vector<LibraryRow> rows) {
    if (observer_ != nullptr) observer_->beforeReset();
    ++generation_;
    rows_ = std::move(rows);
    if (observer_ != nullptr) observer_->afterReset();
}

bool TrackList::setIcon(const TrackRecord* record, RowIcon icon) {
    if (record == nullptr) return false;
    bool any = false;
    for (size_t i = 0; i < rows_.size(); ++i) {
        LibraryRow& row = rows_[i];
        if (row.entry.record != record || row.icon == icon) continue;
        row.icon = icon;
        any = true;
        if (observer_ != nullptr) observer_->rowsChanged(static_cast<int>(i), static_cast<int>(i));
    }
    return any;
}

void TrackList::recordChanged(const TrackRecord* record) {
    if (record == nullptr || observer_ == nullptr) return;
    for (size_t i = 0; i < rows_.size(); ++i)
        if (rows_[i].entry.record == record)
            observer_->rowsChanged(static_cast<int>(i), static_cast<int>(i));
}

bool TrackList::holds(const TrackRecord* record) const {
    return record != nullptr && std::ranges::any_of(rows_, [&](const LibraryRow& r) {
               return r.entry.record == record;
           });
}

// ---------------------------------------------------------------------------------------
// Sorting

int nextSortKey(int previous, int column) {
    const int key =
        column >= kFirstExtraColumn ? kSortExtraColumns + column - kFirstExtraColumn : column;
    return previous == key ? key + kSortDescending : key;
}

namespace {

int64_t hundredths(float bpm) {
    return std::isfinite(bpm) ? static_cast<int64_t>(static_cast<double>(bpm) * 100.0) : 0;
}

// A row's value in an added column as it sorts: -1 when the row has none.
int64_t extraSortValue(const TrackEntry& entry, int column) {
    if (column == kColumnKey) {
        const auto key = trackKeyOf(entry.record, entry.tags.get());
        return key ? key->wheelNumber() * 2 + (key->minor ? 0 : 1) : -1;
    }
    const TrackTags* tags = entry.tags.get();
    if (tags == nullptr) return -1;
    const int32_t value = column == kColumnYear ? tags->year : tags->seconds;
    return value > 0 ? value : -1;
}

// The rule of sortsBefore for the added columns.
bool extraSortsBefore(int column, bool descending, const TrackEntry& a, const TrackEntry& b) {
    if (column == kColumnAlbum || column == kColumnGenre) {
        static const std::string none;
        const auto text = [column](const TrackEntry& e) -> const std::string& {
            if (e.tags == nullptr) return none;
            return column == kColumnAlbum ? e.tags->album : e.tags->genre;
        };
        const std::string& ta = text(a);
        const std::string& tb = text(b);
        if (ta.empty() || tb.empty()) return !ta.empty() && tb.empty();
        const int c = ascii::compareNoCase(ta, tb);
        return descending ? c > 0 : c < 0;
    }
    const int64_t va = extraSortValue(a, column);
    const int64_t vb = extraSortValue(b, column);
    if (va < 0 || vb < 0) return va >= 0 && vb < 0;
    return descending ? va > vb : va < vb;
}

// The tempo rule of sortsBefore on tempi read beforehand.
bool tempoSortsBefore(bool descending, int64_t a, int64_t b) { return descending ? a < b : a > b; }

}  // namespace

bool sortsBefore(int key, const LibraryRow& a, const LibraryRow& b) {
    const TrackRecord* ra = a.entry.record;
    const TrackRecord* rb = b.entry.record;
    if (key >= kSortExtraColumns) {
        const int k = key - kSortExtraColumns;
        const bool descending = k >= kSortDescending;
        return extraSortsBefore(kFirstExtraColumn + (descending ? k - kSortDescending : k),
                                descending, a.entry, b.entry);
    }
    const bool descending = key >= kSortDescending;
    const int column = descending ? key - kSortDescending : key;
    if (column == 0 || column == 1) {
        const int c = column == 0 ? ascii::compareNoCase(a.entry.title, b.entry.title)
                                  : ascii::compareNoCase(a.entry.artist, b.entry.artist);
        return descending ? c > 0 : c < 0;
    }
    // The keys that read the record: rows without one go last.
    if (ra == nullptr || rb == nullptr) return ra != nullptr && rb == nullptr;
    switch (column) {
        case kSortByLastPlayed:
            return ra->lastUsedDate > rb->lastUsedDate;
        case 2:
            return tempoSortsBefore(descending, hundredths(ra->shownBpm()),
                                    hundredths(rb->shownBpm()));
        case 3: {
            const int c = ascii::compareNoCase(*trackComment(ra), *trackComment(rb));
            return descending ? c > 0 : c < 0;
        }
        default:
            return false;
    }
}

void sortRows(std::vector<LibraryRow>& rows, int key) {
    const bool descending = key >= kSortDescending;
    if ((descending ? key - kSortDescending : key) != 2) {
        std::ranges::stable_sort(rows, [key](const LibraryRow& a, const LibraryRow& b) {
            return sortsBefore(key, a, b);
        });
        return;
    }
    // The sound thread changes tempi while a deck analyses: each row's tempo is read once,
    // so that every comparison sees the same value (a sort whose order changes under it is
    // undefined behaviour). Rows without a record go last.
    struct Keyed {
        bool hasRecord;
        int64_t tempo;
        LibraryRow* row;
    };
    std::vector<Keyed> keyed;
    keyed.reserve(rows.size());
    for (LibraryRow& row : rows) {
        const TrackRecord* record = row.entry.record;
        keyed.push_back({record != nullptr, record ? hundredths(record->shownBpm()) : 0, &row});
    }
    std::ranges::stable_sort(keyed, [descending](const Keyed& a, const Keyed& b) {
        if (!a.hasRecord || !b.hasRecord) return a.hasRecord && !b.hasRecord;
        return tempoSortsBefore(descending, a.tempo, b.tempo);
    });
    std::vector<LibraryRow> sorted;
    sorted.reserve(rows.size());
    for (const Keyed& k : keyed) sorted.push_back(std::move(*k.row));
    rows = std::move(sorted);
}

}  // namespace spinlorex
