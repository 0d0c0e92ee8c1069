#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <vector>

#include "library/SqliteConnection.h"
#include "library/TrackStoreKey.h"
#include "library/TrackTags.h"
#include "library/WaveformSummary.h"

namespace spinlorex {

// What goes into the file for one track: the track, the path it was last seen at, and its
// beat grid and waveform summary (each null when it is not written now).
struct GridWrite {
    TrackKey key;
    std::string path;
    std::shared_ptr<const BeatGrid> grid;
    std::shared_ptr<const WaveformSummary> waveform;
    std::shared_ptr<const HotCueSet> hotCues;  // the whole set, in place of the stored one
};

// The tags of the file at `path` as read when it had that size and modification time
// (nanoseconds); null `tags` for a file whose tags could not be read.
struct TagsWrite {
    std::string path;
    int64_t size = 0;
    int64_t mtime = 0;
    std::shared_ptr<const TrackTags> tags;
};

// The track store's file, "spinlorex Library.sqlite" (TrackStoreSchema), as the store's
// thread has it. Only one program writes it: the one holding the lock on
// "spinlorex Library.sqlite-lock" beside it; another one only reads it. Opening brings it
// to the current version, and reads every grid through a connection of its own. A file
// that is damaged, not a database, or of tables this program cannot read (a newer
// program's) is set aside under a dated name beside it and a new, empty one made.
//
// One thread at a time (the store's thread); opening may take as long as the disk.
class TrackStoreFile {
public:
    static constexpr const char* kFileName = "spinlorex Library.sqlite";
    static constexpr const char* kLockSuffix = "-lock";

    struct Opening {
        std::unique_ptr<TrackStoreFile> file;  // null: nothing will be written
        GridMap grids;                         // every grid that could be read
        HotCueMap hotCues;                     // every track's hot cues
        size_t unreadable = 0;                 // grids left out: not a grid's blob
        std::string notice;                    // what went wrong, empty when nothing did
        bool setAside = false;                 // a damaged file was set aside, a new one made
    };

    // Opens (or makes) the file in `folder`. Without a file to write (`file` null) the
    // grids are still read where the file can be read: a store in use by another program,
    // or in a folder that cannot be written.
    static Opening open(const std::string& folder);

    ~TrackStoreFile();
    TrackStoreFile(const TrackStoreFile&) = delete;
    TrackStoreFile& operator=(const TrackStoreFile&) = delete;

    // Writes `batch` and `tags` in one transaction, each grid, summary and file's tags in
    // place of the earlier ones, each track's path updated. False, nothing written, when
    // the transaction failed.
    bool write(const std::vector<GridWrite>& batch, const std::vector<TagsWrite>& tags = {});
    // The stored waveform summary of a track, through a connection of its own; null when
    // none is stored or it cannot be read.
    std::shared_ptr<const WaveformSummary> readWaveform(const TrackKey& key);

private:
    bool writeHotCues(int64_t track, const HotCueSet& set);
    bool writeTags(const TagsWrite& w);

    TrackStoreFile(int lockFd, SqliteConnection db, SqliteStatement track, SqliteStatement grid,
                   std::string path);

    int lockFd_ = -1;
    SqliteConnection db_;
    SqliteStatement putTrack_;  // after db_: finalized first
    SqliteStatement putGrid_;
    SqliteStatement putWaveform_;
    SqliteStatement clearHotCues_;  // prepared at the first write of hot cues
    SqliteStatement putHotCue_;
    SqliteStatement putTags_;  // prepared at the first write of tags
    std::string path_;
    SqliteConnection reader_;  // opened at the first read
    SqliteStatement readWaveform_;
};

}  // namespace spinlorex
