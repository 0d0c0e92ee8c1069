#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "library/BeatGrid.h"
#include "library/HotCues.h"
#include "library/MusicalKey.h"
#include "library/WaveformSummary.h"

namespace spinlorex {

struct TrackRecord;
struct TrackTags;

// The nine analysis values kept for a track while a deck uses it. The beat analyser
// writes them on the sound thread while the desk reads them on the main thread, so each
// value is a relaxed atomic (single 32-bit loads and stores). The order of the fields is
// the order in which the database file stores them.
struct TrackAnalysis {
    static constexpr int kStoredValues = 9;
    // The stored values as the 32-bit words of the file, in file order.
    using StoredWords = std::array<uint32_t, kStoredValues>;
    // A track never analysed: every value 0 but peakLevel 1.
    static constexpr StoredWords kDefaultWords = {0, 0, 0, 0, 0, 0, 0, 1, 0};

    TrackRecord* owner = nullptr;

    std::atomic<int32_t> reserved{0};          // carried through unchanged
    std::atomic<float> firstStrongBeat{0.0f};  // earliest beat above 2/3 of peakLevel
    std::atomic<float> lastStrongBeat{0.0f};   // latest beat above 1/2 of peakLevel
    std::atomic<float> cuePoint{0.0f};         // the deck's cue point
    std::atomic<int32_t> firstStrongBeatLevel{0};
    std::atomic<int32_t> lastStrongBeatLevel{0};
    std::atomic<int32_t> bpmConfidence{0};  // kHandSetConfidence = set by hand
    std::atomic<int32_t> peakLevel{1};      // largest beat level seen (never 0)
    std::atomic<int32_t> loudnessPeak{0};   // largest loudness sum seen

    static constexpr int32_t kHandSetConfidence = 0x7FFFFFFF;

    uint32_t storedWord(int index) const;
    void setStoredWord(int index, uint32_t word);
    StoredWords storedWords() const;
    void setStoredWords(const StoredWords& words);
};

// What is remembered of a track from one run to the next. Identified by the file name
// without folder plus the file size. Created and found on the main thread only; the
// sound thread writes `bpm` while it analyses. Where the record's block lies in the
// database file is the database's writer's business, not the record's.
struct TrackRecord {
    int32_t refCount = 0;                     // holders of the analysis block
    std::unique_ptr<TrackAnalysis> analysis;  // the held block, if any
    // The analysis values as the file holds them, read with the record; a held block
    // starts from them and gives them back when its last holder lets it go.
    TrackAnalysis::StoredWords storedValues = TrackAnalysis::kDefaultWords;
    uint32_t fileSize = 0;                       // 0 = size not known
    std::atomic<float> bpm{0.0f};                // 0 = no tempo known
    uint32_t lastUsedDate = 0;                   // packed date, 0 = never
    std::optional<std::string> commentOverride;  // typed in this run
    std::string name;                            // file name without folder
    std::string comment;                         // as read from the file
    // Where the track's beats fall, once an analysis or the track store gave it (null:
    // not known yet; an empty grid: the track has no steady beat). Main thread only.
    std::shared_ptr<const BeatGrid> grid;
    // The track's hot cues once set or read from the track store (null: none). Main
    // thread only.
    std::shared_ptr<const HotCueSet> hotCues;
    // The track's waveform summary, once an analysis or the track store gave it (null: not
    // known yet). Main thread only.
    std::shared_ptr<const WaveformSummary> waveform;

    // The grid's tempo where it may stand in for `bpm` (0: no confident grid, or the tempo
    // was set by hand). Written on the main thread with `grid`; any thread reads it.
    std::atomic<float> gridBpm{0.0f};

    // The tempo the analyser measured (or the user typed): the one the database stores.
    float currentBpm() const { return bpm.load(std::memory_order_relaxed); }
    // The tempo the desk shows, sorts, matches and mixes with: the grid's where the
    // analyser misread it (or found none), else the measured one.
    float shownBpm() const;
};

// The size a track's record is keyed by, from the file's size in bytes: its low 32 bits,
// as the internal database stores sizes. A file whose size is a non-zero multiple of
// 4 GiB is keyed 0xFFFFFFFF, since 0 means "size not known". Every place that keys a
// record by a file's size goes through this, so a file of 4 GiB or more finds its record.
constexpr uint32_t trackSizeKey(uint64_t bytes) {
    const auto low = static_cast<uint32_t>(bytes & 0xFFFFFFFFu);
    return low == 0 && bytes != 0 ? 0xFFFFFFFFu : low;
}

// The name a track's record is keyed by: the file's name (fileNameOf), up to a zero byte
// (names are stored zero-terminated; nothing after one could be found again). A view into
// `path`.
std::string_view trackRecordName(std::string_view path);

// Gives the record its grid (main thread); its tempo replaces the measured one where it
// should, unless the tempo was set by hand.
void attachGrid(TrackRecord& record, std::shared_ptr<const BeatGrid> grid);

// The musical key of the track a record or entry stands for: the one the whole-track
// analysis found (kept with its grid), else the one its tags give; none when neither.
// Main thread only (the grid is).
std::optional<MusicalKey> trackKeyOf(const TrackRecord* record, const TrackTags* tags);

// The comment to show and store: the one typed in this run, else the stored one.
// A null record has no comment.
const std::string* trackComment(const TrackRecord* record);

// A reference to one track: every library row owns one and a deck holds its own copy.
// Copying duplicates the texts and shares the record. `record` is null for a row that
// stands for a playlist file.
struct TrackEntry {
    std::string artist;
    std::string title;
    std::string path;
    TrackRecord* record = nullptr;
    // The file's tags once read (library/TagCache.h); null before, or without any.
    std::shared_ptr<const TrackTags> tags{};
};

}  // namespace spinlorex
