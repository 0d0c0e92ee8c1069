#pragma once

namespace spinlorex {

class SqliteConnection;

// The track store's tables, version by version. The file's PRAGMA user_version is the
// version of its tables (0: none yet). Each version is one step from the one before, run
// in a transaction of its own that also sets the new version, so a file is always at one
// version whatever stops the program. Adding what a track keeps (tags, key, a waveform
// summary, hot cues, loops) is a new step; the steps already taken never change.
//
// Version 1:
//   tracks(id, name, size, path)   a track by file name without folder and size key,
//                                  with the path it was last seen at; (name, size) unique
//   beat_grids(track, fit, sections)
//                                  one grid per track: how well it fits, and its sections
//                                  (BeatGridBlob; an empty blob: no steady beat)
// Version 2:
//   waveforms(track, summary)      one waveform summary per track (encodeWaveform), read
//                                  one track at a time when a deck loads it
//
// Version 3:
//   track_tags(path, size, mtime, readable, artist, title, album, genre, comment, key,
//              year, seconds, bpm)
//                                  the tags of the file at `path` as TagCache read them
//                                  when the file had that size and modification time
// Version 4:
//   hot_cues(track, slot, frame, colour)
//                                  a track's hot cues, one row per cue set (slot 0..7)
// Version 5:
//   beat_grids.key                 the musical key found with the grid (0: none)
struct TrackStoreSchema {
    static constexpr int kVersion = 5;

    // Brings the file of `db` from its version up to kVersion, step by step. Returns
    // SQLite's result code (SQLITE_OK when the tables are at kVersion); `found` is the
    // version the file had. A file of a later version is left as it is (SQLITE_OK, `found`
    // above kVersion).
    static int upgrade(SqliteConnection& db, int& found);
};

}  // namespace spinlorex
