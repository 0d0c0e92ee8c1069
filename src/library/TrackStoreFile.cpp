#include "library/TrackStoreFile.h"

#include <fcntl.h>
#include <sqlite3.h>
#include <sys/file.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <limits>
#include <utility>

#include "library/BeatGridBlob.h"
#include "library/TrackStoreSchema.h"

namespace spinlorex {
namespace {

const char* const kPutTrack =
    "INSERT INTO tracks(name, size, path) VALUES(?1, ?2, ?3)"
    " ON CONFLICT(name, size) DO UPDATE SET path = excluded.path RETURNING id";
const char* const kPutGrid =
    "INSERT INTO beat_grids(track, fit, sections, seconds, key) VALUES(?1, ?2, ?3, ?4, ?5)"
    " ON CONFLICT(track) DO UPDATE SET fit = excluded.fit, sections = excluded.sections,"
    " seconds = excluded.seconds, key = excluded.key";
// What every version's grids table takes: an older store's tables are checked with it.
const char* const kCheckGrids =
    "INSERT INTO beat_grids(track, fit, sections, seconds) VALUES(?1, ?2, ?3, ?4)";
const char* const kPutWaveform =
    "INSERT INTO waveforms(track, summary) VALUES(?1, ?2)"
    " ON CONFLICT(track) DO UPDATE SET summary = excluded.summary";
const char* const kReadWaveform =
    "SELECT waveforms.summary FROM waveforms JOIN tracks ON tracks.id = waveforms.track"
    " WHERE tracks.name = ?1 AND tracks.size = ?2";
const char* const kReadGrids =
    "SELECT tracks.name, tracks.size, beat_grids.fit, beat_grids.sections, beat_grids.seconds,"
    " beat_grids.key FROM beat_grids JOIN tracks ON tracks.id = beat_grids.track";
// The same of a file before the keys (read, not upgraded, where another program writes it).
const char* const kReadGridsWithoutKeys =
    "SELECT tracks.name, tracks.size, beat_grids.fit, beat_grids.sections, beat_grids.seconds,"
    " 0 FROM beat_grids JOIN tracks ON tracks.id = beat_grids.track";

const char* const kClearHotCues = "DELETE FROM hot_cues WHERE track = ?1";
const char* const kPutHotCue =
    "INSERT INTO hot_cues(track, slot, frame, colour) VALUES(?1, ?2, ?3, ?4)";
const char* const kReadHotCues =
    "SELECT tracks.name, tracks.size, hot_cues.slot, hot_cues.frame, hot_cues.colour"
    " FROM hot_cues JOIN tracks ON tracks.id = hot_cues.track";

const char* const kPutTags =
    "INSERT OR REPLACE INTO track_tags(path, size, mtime, readable, artist, title, album, genre,"
    " comment, key, year, seconds, bpm) VALUES(?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8, ?9, ?10, ?11, ?12,"
    " ?13)";

const char* const kKeptUntilClose = "Beat grids found now are kept only until the desk closes.";
constexpr int kBusyWaitMs = 1000;

enum class Failure { None, Damaged, Newer, Unwritable };

// What a failing statement says of the file: damaged (not a database, corrupt, tables
// that are not the store's), or only not usable here and now (rights, a full or failing
// disk, another program's lock).
Failure failureOf(int code) {
    switch (code) {
        case SQLITE_CORRUPT:
        case SQLITE_NOTADB:
        case SQLITE_ERROR:
        case SQLITE_FORMAT:
        case SQLITE_SCHEMA:
        case SQLITE_MISMATCH:
            return Failure::Damaged;
        default:
            return Failure::Unwritable;
    }
}

// The lock that makes this program the file's only writer: its descriptor, or -1 with
// the errno (EWOULDBLOCK: another program holds it).
int takeWriterLock(const std::string& path, int& error) {
    const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0) {
        error = errno;
        return -1;
    }
    int locked;
    do {
        locked = ::flock(fd, LOCK_EX | LOCK_NB);
    } while (locked != 0 && errno == EINTR);
    // A file system without locks still gets a store; the single-instance rule guards it.
    if (locked == 0 || errno != EWOULDBLOCK) return fd;
    error = EWOULDBLOCK;
    ::close(fd);
    return -1;
}

// Every track's hot cues; rows out of range are left out. A file of a version before hot
// cues (read, not upgraded, where another program writes it) has none.
void readHotCues(SqliteConnection& db, TrackStoreFile::Opening& into) {
    int code = SQLITE_OK;
    SqliteStatement rows = db.prepare(kReadHotCues, &code);
    if (code != SQLITE_OK) return;
    TrackKeyMap<HotCueSet> sets;
    while (rows.step() == SQLITE_ROW) {
        const int64_t size = rows.integer(1);
        const int64_t slot = rows.integer(2);
        const int64_t frame = rows.integer(3);
        if (size < 0 || size > std::numeric_limits<uint32_t>::max() || slot < 0 ||
            slot >= HotCueSet::kCount || frame < 0)
            continue;
        HotCueSet& set = sets[TrackKey{std::string(rows.text(0)), static_cast<uint32_t>(size)}];
        set.cues[static_cast<size_t>(slot)] = {frame,
                                               static_cast<uint32_t>(rows.integer(4) & 0xFFFFFF)};
    }
    for (auto& [key, set] : sets)
        into.hotCues.insert_or_assign(key, std::make_shared<const HotCueSet>(set));
}

// Every grid the file holds, decoded; rows that are not a grid are counted and left out.
// The hot cues come with them.
int readGrids(SqliteConnection& db, TrackStoreFile::Opening& into) {
    readHotCues(db, into);
    int code = SQLITE_OK;
    SqliteStatement rows = db.prepare(kReadGrids, &code);
    if (code != SQLITE_OK) rows = db.prepare(kReadGridsWithoutKeys, &code);
    if (code != SQLITE_OK) return code;
    while ((code = rows.step()) == SQLITE_ROW) {
        const int64_t size = rows.integer(1);
        auto sections = decodeGridSections(rows.blob(3));
        if (!sections || size < 0 || size > std::numeric_limits<uint32_t>::max()) {
            ++into.unreadable;
            continue;
        }
        auto grid = std::make_shared<BeatGrid>();
        grid->sections = std::move(*sections);
        grid->fit = static_cast<float>(rows.real(2));
        grid->length = rows.real(4);
        const int64_t key = rows.integer(5);
        grid->key = key >= 0 && key <= 24 ? static_cast<int32_t>(key) : 0;
        into.grids.insert_or_assign(
            TrackKey{std::string(rows.text(0)), static_cast<uint32_t>(size)}, std::move(grid));
    }
    return code == SQLITE_DONE ? SQLITE_OK : code;
}

// `path` as an SQLite URI: every byte but the unreserved ones and "/" escaped.
std::string uriOf(const std::string& path) {
    std::string uri = "file:";
    for (const char c : path) {
        const auto byte = static_cast<unsigned char>(c);
        if (std::isalnum(byte) != 0 || std::strchr("/-._~", c) != nullptr) {
            uri += c;
        } else {
            char escaped[4];
            std::snprintf(escaped, sizeof escaped, "%%%02X", byte);
            uri += escaped;
        }
    }
    return uri;
}

// The grids of a file this program will not write, where it can be read. A file in a
// folder nobody may write to cannot be read the usual way (its readers keep their marks in
// a file beside it): with `unchanging`, such a file is read as one that nothing changes.
void readOnly(const std::string& path, bool unchanging, TrackStoreFile::Opening& into) {
    if (::access(path.c_str(), F_OK) != 0) return;
    SqliteConnection db;
    int code = db.open(path, SQLITE_OPEN_READONLY);
    if (code == SQLITE_OK) {
        db.setBusyTimeout(kBusyWaitMs);
        code = readGrids(db, into);
    }
    if (code != SQLITE_OK && unchanging && failureOf(code) == Failure::Unwritable) {
        into.grids.clear();
        into.unreadable = 0;
        if (db.open(uriOf(path) + "?immutable=1", SQLITE_OPEN_READONLY | SQLITE_OPEN_URI) ==
            SQLITE_OK)
            code = readGrids(db, into);
    }
    if (code != SQLITE_OK) {
        into.grids.clear();
        into.unreadable = 0;
    }
}

std::string nowStamp() {
    char stamp[32] = "";
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    if (localtime_r(&now, &local) != nullptr)
        std::strftime(stamp, sizeof stamp, "%Y-%m-%d-%H%M%S", &local);
    return stamp;
}

// Puts the file and its write-ahead log aside under `aside`; its readers' marks go.
bool setAside(const std::string& path, const std::string& aside) {
    if (::rename(path.c_str(), aside.c_str()) != 0) return false;
    ::rename((path + "-wal").c_str(), (aside + "-wal").c_str());
    ::rename((path + "-journal").c_str(), (aside + "-journal").c_str());
    ::unlink((path + "-shm").c_str());
    return true;
}

// One try at opening the file for writing and reading its grids into `into`.
struct Attempt {
    Failure failure = Failure::None;
    std::string reason;
    SqliteConnection db;
    SqliteStatement putTrack;
    SqliteStatement putGrid;
};

Attempt attemptOpen(const std::string& path, TrackStoreFile::Opening& into) {
    Attempt a;
    const auto failed = [&a](int code, const std::string& what) {
        a.failure = failureOf(code);
        a.reason = what + ": " + a.db.message();
        a.putTrack = {};
        a.putGrid = {};
        a.db.close();
        return std::move(a);
    };
    int code = a.db.open(path, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE);
    if (code != SQLITE_OK) return failed(code, "cannot be opened");
    a.db.setBusyTimeout(kBusyWaitMs);
    // Nothing is changed in a file before it is known to be a track store: one set aside
    // stays as it was found.
    int64_t found = 0;
    if (code = a.db.queryInteger("PRAGMA user_version", found); code != SQLITE_OK)
        return failed(code, "cannot be read");
    // An older store's tables are checked before the upgrade adds any.
    if (found >= 1 && found < TrackStoreSchema::kVersion) {
        a.putTrack = a.db.prepare(kPutTrack, &code);
        if (code == SQLITE_OK) a.putGrid = a.db.prepare(kCheckGrids, &code);
        if (code != SQLITE_OK) return failed(code, "its tables are not a track store's");
        a.putGrid = {};
    }
    int version = 0;
    if (code = TrackStoreSchema::upgrade(a.db, version); code != SQLITE_OK)
        return failed(code, "its tables cannot be made");
    if (version > TrackStoreSchema::kVersion) {
        a.failure = Failure::Newer;
        a.reason = "version " + std::to_string(version);
        a.db.close();
        return a;
    }
    a.putTrack = a.db.prepare(kPutTrack, &code);
    if (code == SQLITE_OK) a.putGrid = a.db.prepare(kPutGrid, &code);
    if (code != SQLITE_OK) return failed(code, "its tables are not a track store's");
    {
        SqliteStatement journal = a.db.prepare("PRAGMA journal_mode = WAL", &code);
        if (code == SQLITE_OK && (code = journal.step()) == SQLITE_ROW) code = SQLITE_OK;
    }
    if (code == SQLITE_OK) code = a.db.exec("PRAGMA synchronous = FULL");
    if (code != SQLITE_OK) return failed(code, "cannot be written");

    // The grids come through a connection of their own.
    SqliteConnection reader;
    code = reader.open(path, SQLITE_OPEN_READONLY);
    if (code == SQLITE_OK) {
        reader.setBusyTimeout(kBusyWaitMs);
        code = readGrids(reader, into);
    }
    if (code != SQLITE_OK) {
        a.failure = failureOf(code);
        a.reason = "its grids cannot be read: " + reader.message();
        a.putTrack = {};
        a.putGrid = {};
        a.db.close();
    }
    return a;
}

}  // namespace

TrackStoreFile::TrackStoreFile(int lockFd, SqliteConnection db, SqliteStatement track,
                               SqliteStatement grid, std::string path)
    : lockFd_(lockFd),
      db_(std::move(db)),
      putTrack_(std::move(track)),
      putGrid_(std::move(grid)),
      path_(std::move(path)) {
    putWaveform_ = db_.prepare(kPutWaveform);
}

TrackStoreFile::~TrackStoreFile() {
    // The last connection folds the log into the file; the lock goes only after.
    readWaveform_ = {};
    reader_.close();
    putTrack_ = {};
    putGrid_ = {};
    putWaveform_ = {};
    clearHotCues_ = {};
    putHotCue_ = {};
    putTags_ = {};
    db_.close();
    if (lockFd_ >= 0) ::close(lockFd_);
}

TrackStoreFile::Opening TrackStoreFile::open(const std::string& folder) {
    Opening opening;
    const std::string path = folder + "/" + kFileName;
    int error = 0;
    const int lockFd = takeWriterLock(path + kLockSuffix, error);
    if (lockFd < 0) {
        const bool inUse = error == EWOULDBLOCK;
        opening.notice = inUse ? "The track store " + path + " is in use by another Spinlorex.\n"
                               : "The track store cannot be written in " + folder + " (" +
                                     std::strerror(error) + ").\n";
        opening.notice += kKeptUntilClose;
        readOnly(path, !inUse, opening);
        return opening;
    }

    for (int round = 0;; ++round) {
        Attempt a = attemptOpen(path, opening);
        if (a.failure == Failure::None) {
            opening.file.reset(new TrackStoreFile(lockFd, std::move(a.db), std::move(a.putTrack),
                                                  std::move(a.putGrid), path));
            return opening;
        }
        opening.grids.clear();
        opening.unreadable = 0;
        std::string stop;
        if (a.failure == Failure::Unwritable) {
            stop = "The track store " + path + " cannot be written (" + a.reason + ").\n";
            readOnly(path, true, opening);
        } else if (round > 0) {
            stop = "A new track store cannot be made in " + path + " (" + a.reason + ").\n";
        } else {
            // Set aside under the date and time, never over an earlier one.
            const std::string kind = a.failure == Failure::Newer ? "newer" : "damaged";
            const std::string base = folder + "/spinlorex Library." + kind + "-" + nowStamp();
            std::string aside = base + ".sqlite";
            for (int n = 2; ::access(aside.c_str(), F_OK) == 0; ++n)
                aside = base + "-" + std::to_string(n) + ".sqlite";
            const std::string why = a.failure == Failure::Newer
                                        ? "was written by a newer Spinlorex (" + a.reason + ")"
                                        : "is damaged (" + a.reason + ")";
            if (setAside(path, aside)) {
                opening.setAside = true;
                opening.notice = "The track store " + why + ". It was set aside as\n" + aside +
                                 "\nand a new, empty one made.";
                continue;
            }
            stop = "The track store " + why + " and cannot be set aside:\n" + path + " (" +
                   std::strerror(errno) + ").\n";
        }
        ::close(lockFd);
        opening.notice += (opening.notice.empty() ? "" : "\n") + stop + kKeptUntilClose;
        return opening;
    }
}

bool TrackStoreFile::write(const std::vector<GridWrite>& batch,
                           const std::vector<TagsWrite>& tags) {
    if (db_.exec("BEGIN IMMEDIATE") != SQLITE_OK) return false;
    bool stored = true;
    for (const TagsWrite& w : tags) {
        stored = writeTags(w);
        if (!stored) break;
    }
    for (const GridWrite& w : batch) {
        if (!stored) break;
        putTrack_.bindText(1, w.key.name);
        putTrack_.bind(2, int64_t{w.key.fileSize});
        putTrack_.bindText(3, w.path);
        stored = putTrack_.step() == SQLITE_ROW;
        const int64_t track = stored ? putTrack_.integer(0) : 0;
        putTrack_.reset();
        if (!stored) break;
        if (w.waveform) {
            if (!putWaveform_.valid()) {
                stored = false;
                break;
            }
            putWaveform_.bind(1, track);
            putWaveform_.bindBlob(2, encodeWaveform(*w.waveform));
            stored = putWaveform_.step() == SQLITE_DONE;
            putWaveform_.reset();
            if (!stored) break;
        }
        if (w.hotCues && !writeHotCues(track, *w.hotCues)) {
            stored = false;
            break;
        }
        if (!w.grid) continue;
        putGrid_.bind(1, track);
        putGrid_.bind(2, double{w.grid->fit});
        putGrid_.bindBlob(3, encodeGridSections(w.grid->sections));
        putGrid_.bind(4, w.grid->length);
        putGrid_.bind(5, int64_t{w.grid->key});
        stored = putGrid_.step() == SQLITE_DONE;
        putGrid_.reset();
        if (!stored) break;
    }
    if (stored && db_.exec("COMMIT") == SQLITE_OK) return true;
    db_.exec("ROLLBACK");
    return false;
}

bool TrackStoreFile::writeTags(const TagsWrite& w) {
    if (!putTags_.valid()) putTags_ = db_.prepare(kPutTags);
    if (!putTags_.valid()) return false;
    const TrackTags none;
    const TrackTags& t = w.tags ? *w.tags : none;
    putTags_.bindText(1, w.path);
    putTags_.bind(2, w.size);
    putTags_.bind(3, w.mtime);
    putTags_.bind(4, int64_t{w.tags ? 1 : 0});
    putTags_.bindText(5, t.artist);
    putTags_.bindText(6, t.title);
    putTags_.bindText(7, t.album);
    putTags_.bindText(8, t.genre);
    putTags_.bindText(9, t.comment);
    putTags_.bindText(10, t.key);
    putTags_.bind(11, int64_t{t.year});
    putTags_.bind(12, int64_t{t.seconds});
    putTags_.bind(13, static_cast<double>(t.bpm));
    const bool stored = putTags_.step() == SQLITE_DONE;
    putTags_.reset();
    return stored;
}

bool TrackStoreFile::writeHotCues(int64_t track, const HotCueSet& set) {
    if (!clearHotCues_.valid()) clearHotCues_ = db_.prepare(kClearHotCues);
    if (!putHotCue_.valid()) putHotCue_ = db_.prepare(kPutHotCue);
    if (!clearHotCues_.valid() || !putHotCue_.valid()) return false;
    clearHotCues_.bind(1, track);
    bool stored = clearHotCues_.step() == SQLITE_DONE;
    clearHotCues_.reset();
    for (int slot = 0; stored && slot < HotCueSet::kCount; ++slot) {
        const HotCue& cue = set.cues[static_cast<size_t>(slot)];
        if (!cue.set()) continue;
        putHotCue_.bind(1, track);
        putHotCue_.bind(2, int64_t{slot});
        putHotCue_.bind(3, cue.frame);
        putHotCue_.bind(4, int64_t{cue.colour});
        stored = putHotCue_.step() == SQLITE_DONE;
        putHotCue_.reset();
    }
    return stored;
}

std::shared_ptr<const WaveformSummary> TrackStoreFile::readWaveform(const TrackKey& key) {
    if (!reader_.isOpen()) {
        if (reader_.open(path_, SQLITE_OPEN_READONLY) != SQLITE_OK) return nullptr;
        reader_.setBusyTimeout(kBusyWaitMs);
        readWaveform_ = reader_.prepare(kReadWaveform);
    }
    if (!readWaveform_.valid()) return nullptr;
    readWaveform_.bindText(1, key.name);
    readWaveform_.bind(2, int64_t{key.fileSize});
    std::shared_ptr<const WaveformSummary> found;
    if (readWaveform_.step() == SQLITE_ROW) {
        if (auto summary = decodeWaveform(readWaveform_.blob(0)))
            found = std::make_shared<const WaveformSummary>(std::move(*summary));
    }
    readWaveform_.reset();
    return found;
}

}  // namespace spinlorex
