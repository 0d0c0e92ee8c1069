#include "library/TrackStoreSchema.h"

#include <sqlite3.h>

#include <iterator>
#include <string>

#include "library/SqliteConnection.h"

namespace spinlorex {
namespace {

// kSteps[n] takes the tables from version n to n + 1.
constexpr const char* kSteps[] = {
    // 1: tracks and their beat grids.
    "CREATE TABLE tracks("
    "  id INTEGER PRIMARY KEY,"
    "  name TEXT NOT NULL,"
    "  size INTEGER NOT NULL,"
    "  path TEXT NOT NULL DEFAULT '',"
    "  UNIQUE(name, size));"
    "CREATE TABLE beat_grids("
    "  track INTEGER PRIMARY KEY REFERENCES tracks(id) ON DELETE CASCADE,"
    "  fit REAL NOT NULL,"
    "  seconds REAL NOT NULL DEFAULT 0,"
    "  sections BLOB NOT NULL);",
    // 2: waveform summaries.
    "CREATE TABLE waveforms("
    "  track INTEGER PRIMARY KEY REFERENCES tracks(id) ON DELETE CASCADE,"
    "  summary BLOB NOT NULL);",
    // 3: the tags of each file as last read, with the size and time they were read at
    // (readable 0: TagLib could not read the file).
    "CREATE TABLE IF NOT EXISTS track_tags("
    "  path TEXT PRIMARY KEY,"
    "  size INTEGER NOT NULL,"
    "  mtime INTEGER NOT NULL,"
    "  readable INTEGER NOT NULL,"
    "  artist TEXT NOT NULL DEFAULT '',"
    "  title TEXT NOT NULL DEFAULT '',"
    "  album TEXT NOT NULL DEFAULT '',"
    "  genre TEXT NOT NULL DEFAULT '',"
    "  comment TEXT NOT NULL DEFAULT '',"
    "  key TEXT NOT NULL DEFAULT '',"
    "  year INTEGER NOT NULL DEFAULT 0,"
    "  seconds INTEGER NOT NULL DEFAULT 0,"
    "  bpm REAL NOT NULL DEFAULT 0);",
    // 4: hot cues, one row per cue set.
    "CREATE TABLE hot_cues("
    "  track INTEGER NOT NULL REFERENCES tracks(id) ON DELETE CASCADE,"
    "  slot INTEGER NOT NULL,"
    "  frame INTEGER NOT NULL,"
    "  colour INTEGER NOT NULL,"
    "  PRIMARY KEY(track, slot));",
    // 5: the musical key found with each grid.
    "ALTER TABLE beat_grids ADD COLUMN key INTEGER NOT NULL DEFAULT 0;",
};
static_assert(std::size(kSteps) == TrackStoreSchema::kVersion);

}  // namespace

int TrackStoreSchema::upgrade(SqliteConnection& db, int& found) {
    int64_t version = 0;
    if (const int code = db.queryInteger("PRAGMA user_version", version); code != SQLITE_OK)
        return code;
    found = static_cast<int>(version);
    for (int64_t at = version; at >= 0 && at < kVersion; ++at) {
        if (const int code = db.exec("BEGIN IMMEDIATE"); code != SQLITE_OK) return code;
        // Another connection (another desk's) may have taken the step meanwhile.
        int64_t now = at;
        int code = db.queryInteger("PRAGMA user_version", now);
        if (code == SQLITE_OK && now > at) {
            db.exec("COMMIT");
            at = now - 1;
            continue;
        }
        if (code == SQLITE_OK) code = db.exec(kSteps[at]);
        if (code == SQLITE_OK)
            code = db.exec(("PRAGMA user_version = " + std::to_string(at + 1)).c_str());
        if (code == SQLITE_OK) code = db.exec("COMMIT");
        if (code != SQLITE_OK) {
            db.exec("ROLLBACK");
            return code;
        }
    }
    return version < 0 ? SQLITE_CORRUPT : SQLITE_OK;
}

}  // namespace spinlorex
