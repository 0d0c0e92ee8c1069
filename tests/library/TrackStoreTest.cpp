// The track store: beat grids kept in an SQLite file beside the internal database, written
// by a thread of its own, and what happens to a file that is damaged, newer, shared or out
// of reach. The file is looked into with SQLite directly, not through the code under test.

#include "library/TrackStore.h"
#include "library/TrackStoreSchema.h"

#include <gtest/gtest.h>
#include <sqlite3.h>
#include <sys/mount.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <random>
#include <thread>

#include "library/BeatGridBlob.h"
#include "library/TrackDatabase.h"
#include "library/TrackStoreSchema.h"
#include "support/Files.h"

namespace spinlorex {
namespace {

namespace fs = std::filesystem;
using test::Bytes;

std::shared_ptr<const BeatGrid> gridOf(std::vector<GridSection> sections, float fit,
                                       int32_t key = 0) {
    auto grid = std::make_shared<BeatGrid>(BeatGrid{std::move(sections), fit});
    grid->key = key;
    return grid;
}

// Three sections, as a track that speeds up twice has; in B minor.
const auto kChanging =
    gridOf({{0.0, 0.31, 0.5}, {60.25, 60.25, 0.48}, {120.0, 120.1, 60.0 / 128}}, 0.82f, 24);
const auto kSteady = gridOf({{0.0, 0.125, 60.0 / 124}}, 0.95f);
const auto kBeatless = gridOf({}, 0.1f);

struct Loaded : TrackStore::Listener {
    std::atomic<int> count{0};
    void storeLoaded() override { ++count; }
};

// A connection of the test's own to the store's file.
class Sql {
public:
    explicit Sql(const std::string& path) { sqlite3_open(path.c_str(), &db_); }
    ~Sql() { sqlite3_close(db_); }
    Sql(const Sql&) = delete;
    Sql& operator=(const Sql&) = delete;
    int exec(const std::string& sql) {
        return sqlite3_exec(db_, sql.c_str(), nullptr, nullptr, nullptr);
    }
    // The first column of the first row, as text ("" when none).
    std::string value(const std::string& sql) {
        sqlite3_stmt* statement = nullptr;
        std::string result;
        if (sqlite3_prepare_v2(db_, sql.c_str(), -1, &statement, nullptr) == SQLITE_OK &&
            sqlite3_step(statement) == SQLITE_ROW && sqlite3_column_text(statement, 0) != nullptr)
            result = reinterpret_cast<const char*>(sqlite3_column_text(statement, 0));
        sqlite3_finalize(statement);
        return result;
    }

private:
    sqlite3* db_ = nullptr;
};

// Opens `store` on `folder` and waits until it has read its file.
void openAndLoad(TrackStore& store, const std::string& folder, Loaded* listener = nullptr) {
    store.open(folder, listener);
    store.flush();
    ASSERT_TRUE(store.takeLoaded());
}

// A store of `count` grids in `folder`, closed.
void fillStore(const std::string& folder, int count) {
    TrackStore store;
    openAndLoad(store, folder);
    for (int i = 0; i < count; ++i)
        store.putGrid("/music/track " + std::to_string(i) + ".mp3", 1000u + unsigned(i), kSteady);
    ASSERT_TRUE(store.close());
}

class TrackStoreTest : public ::testing::Test {
protected:
    std::string folder() const { return dir.path().string(); }
    std::string file() const { return dir.file("spinlorex Library.sqlite"); }
    // Files of the folder whose names hold `part`.
    std::vector<std::string> filesWith(const std::string& part) const {
        std::vector<std::string> found;
        for (const auto& entry : fs::directory_iterator(dir.path()))
            if (entry.path().filename().string().find(part) != std::string::npos)
                found.push_back(entry.path().string());
        return found;
    }

    test::TempDir dir;
};

// Several sections, a track without a steady beat and one never analysed come back as they
// went in after a close; a grid handed in again while a write waits replaces the one
// waiting; the path is the one last seen; a row that is not a grid is left out.
TEST_F(TrackStoreTest, GridsComeBackAsTheyWentInAndTheLatestOfATrackWins) {
    {
        TrackStore store;
        Loaded loaded;
        openAndLoad(store, folder(), &loaded);
        EXPECT_EQ(loaded.count, 1);
        EXPECT_EQ(store.state(), TrackStore::State::Stored);
        EXPECT_EQ(store.notice(), "");

        // Another connection holds the file's write lock: the store's thread waits for it
        // with the first grid while the other two come.
        Sql other(file());
        ASSERT_EQ(other.exec("BEGIN IMMEDIATE"), SQLITE_OK);
        store.putGrid("/music/beatless.wav", 5000, kBeatless);
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        store.putGrid("/old/place/changing.mp3", 4000, kSteady);
        store.putGrid("/music/changing.mp3", 4000, kChanging);
        EXPECT_EQ(store.grid("changing.mp3", 4000), kChanging);  // at once, from memory
        ASSERT_EQ(other.exec("COMMIT"), SQLITE_OK);
        store.flush();
        EXPECT_EQ(store.rowsWritten(), 2u);
        EXPECT_EQ(store.failures(), 0);
        ASSERT_TRUE(store.close());
    }
    {
        Sql sql(file());
        EXPECT_EQ(sql.value("PRAGMA journal_mode"), "wal");
        EXPECT_EQ(sql.value("PRAGMA user_version"), std::to_string(TrackStoreSchema::kVersion));
        EXPECT_EQ(sql.value("SELECT path FROM tracks WHERE name = 'changing.mp3'"),
                  "/music/changing.mp3");
        ASSERT_EQ(sql.exec("INSERT INTO tracks(name, size) VALUES('bad.mp3', 1);"
                           "INSERT INTO beat_grids(track, fit, sections) "
                           "VALUES(last_insert_rowid(), 1, x'0102');"),
                  SQLITE_OK);
    }
    TrackStore store;
    store.open(folder());
    // Handed in before the file is read: newer than the file's.
    store.putGrid("/moved/beatless.wav", 5000, kSteady);
    store.flush();
    ASSERT_TRUE(store.takeLoaded());
    ASSERT_NE(store.grid("changing.mp3", 4000), nullptr);
    EXPECT_EQ(*store.grid("changing.mp3", 4000), *kChanging);
    EXPECT_EQ(store.grid("beatless.wav", 5000), kSteady);
    EXPECT_EQ(store.grid("changing.mp3", 4001), nullptr);  // another size: another track
    EXPECT_EQ(store.grid("never.mp3", 4000), nullptr);
    EXPECT_EQ(store.grid("bad.mp3", 1), nullptr);
    ASSERT_TRUE(store.close());

    TrackStore again;
    openAndLoad(again, folder());
    EXPECT_EQ(*again.grid("beatless.wav", 5000), *kSteady);
    EXPECT_EQ(Sql(file()).value("SELECT path FROM tracks WHERE name = 'beatless.wav'"),
              "/moved/beatless.wav");
}

// Once the store is read, records made from then on get their grids at their making, those
// already there as a walk over them reaches them, newest first; a grid a record already
// holds stays.
TEST_F(TrackStoreTest, RecordsGetTheirStoredGrids) {
    {
        TrackStore store;
        openAndLoad(store, folder());
        store.putGrid("/a/known.mp3", 10, kChanging);
        store.putGrid("/a/later.mp3", 20, kBeatless);
        store.putGrid("/a/analysed.mp3", 30, kSteady);
    }
    TrackDatabase database;
    ASSERT_TRUE(database.open(folder()));
    TrackRecord* known = database.findOrAdd("/elsewhere/known.mp3", 10);
    TrackRecord* analysed = database.findOrAdd("/a/analysed.mp3", 30);
    analysed->grid = kChanging;
    TrackStore store;
    openAndLoad(store, folder());
    const auto fill = [&store](TrackRecord& record) { store.fill(record); };
    database.setRecordFiller(fill);
    TrackDatabase::RecordWalk walk = database.walkRecords();
    TrackRecord* later = database.findOrAdd("/b/later.mp3", 20);
    ASSERT_NE(later->grid, nullptr);
    EXPECT_TRUE(later->grid->empty());
    EXPECT_TRUE(walk.step(1, fill));
    EXPECT_EQ(known->grid, nullptr);  // the newest first: `analysed` was made after it
    EXPECT_FALSE(walk.step(1, fill));
    EXPECT_FALSE(walk.step(1, fill));
    ASSERT_NE(known->grid, nullptr);
    EXPECT_EQ(*known->grid, *kChanging);
    EXPECT_EQ(analysed->grid, kChanging);
    EXPECT_EQ(database.findOrAdd("/b/later.mp3", 21)->grid, nullptr);
}

// Hot cues come back with their track after a close, the latest set of a track wins (an
// empty set clears them), and a file of another size is another track without them.
TEST_F(TrackStoreTest, HotCuesComeBackWithTheirTrackOnly) {
    HotCueSet cues;
    cues.cues[0] = {441000, hotCueColour(0)};
    cues.cues[7] = {12345678901, hotCueColour(7)};
    {
        TrackStore store;
        openAndLoad(store, folder());
        store.putHotCues("/a/drop.mp3", 10, std::make_shared<const HotCueSet>(cues));
        store.putHotCues("/a/cleared.mp3", 20, std::make_shared<const HotCueSet>(cues));
        store.flush();
        store.putHotCues("/a/cleared.mp3", 20, nullptr);
        store.putGrid("/a/cleared.mp3", 20, kSteady);
    }
    TrackStore store;
    openAndLoad(store, folder());
    ASSERT_NE(store.hotCues("drop.mp3", 10), nullptr);
    EXPECT_EQ(*store.hotCues("drop.mp3", 10), cues);
    EXPECT_EQ(store.hotCues("cleared.mp3", 20), nullptr);
    EXPECT_NE(store.grid("cleared.mp3", 20), nullptr);
    TrackRecord changed;
    changed.name = "drop.mp3";
    changed.fileSize = 11;
    store.fill(changed);
    EXPECT_EQ(changed.hotCues, nullptr);
    TrackRecord same;
    same.name = "drop.mp3";
    same.fileSize = 10;
    store.fill(same);
    ASSERT_NE(same.hotCues, nullptr);
    EXPECT_EQ(same.hotCues->cues[7].frame, 12345678901);
}

// Whatever is wrong with the file, the store starts: the file is set aside under a name
// that says why, beside it, and a new one takes its place and keeps what comes.
struct Damage {
    const char* name;
    const char* asideAs;
    void (*apply)(const std::string& folder, const std::string& file);
    friend void PrintTo(const Damage& damage, std::ostream* out) { *out << damage.name; }
};

class DamagedStoreTest : public TrackStoreTest, public ::testing::WithParamInterface<Damage> {};

TEST_P(DamagedStoreTest, IsSetAsideAndANewOneMade) {
    GetParam().apply(folder(), file());
    const Bytes before = test::readFile(file());

    TrackStore store;
    Loaded loaded;
    openAndLoad(store, folder(), &loaded);
    EXPECT_EQ(loaded.count, 1);
    EXPECT_EQ(store.state(), TrackStore::State::Stored);
    EXPECT_TRUE(store.rebuilt());
    EXPECT_EQ(store.grid("track 1.mp3", 1001), nullptr);
    const auto aside = filesWith(std::string(".") + GetParam().asideAs + "-");
    ASSERT_EQ(aside.size(), 1u) << store.notice();
    EXPECT_EQ(test::readFile(aside[0]), before);
    EXPECT_NE(store.notice().find(aside[0]), std::string::npos) << store.notice();
    store.putGrid("/new/one.mp3", 7, kSteady);
    ASSERT_TRUE(store.close());

    TrackStore again;
    openAndLoad(again, folder());
    EXPECT_FALSE(again.rebuilt());
    EXPECT_EQ(again.notice(), "");
    ASSERT_NE(again.grid("one.mp3", 7), nullptr);
}

INSTANTIATE_TEST_SUITE_P(
    Damages, DamagedStoreTest,
    ::testing::Values(Damage{"RandomBytes", "damaged",
                             [](const std::string&, const std::string& file) {
                                 std::mt19937 random(7);
                                 Bytes bytes(20000);
                                 for (auto& b : bytes) b = static_cast<unsigned char>(random());
                                 test::writeFile(file, bytes);
                             }},
                      Damage{"Truncated", "damaged",
                             [](const std::string& folder, const std::string& file) {
                                 fillStore(folder, 3000);
                                 fs::resize_file(file, fs::file_size(file) / 2);
                             }},
                      Damage{"Newer", "newer",
                             [](const std::string& folder, const std::string& file) {
                                 fillStore(folder, 10);
                                 Sql(file).exec("PRAGMA user_version = " +
                                                std::to_string(TrackStoreSchema::kVersion + 1));
                             }},
                      Damage{"OtherTables", "damaged",
                             [](const std::string&, const std::string& file) {
                                 Sql(file).exec(
                                     "CREATE TABLE tracks(title TEXT); PRAGMA user_version = 1");
                             }}),
    [](const auto& info) { return std::string(info.param.name); });

// A second desk on the same folder reads the grids but writes nothing; the first goes on
// writing; neither loses what it wrote, and the file stays whole.
TEST_F(TrackStoreTest, ASecondStoreOnTheFileReadsItAndKeepsItsOwnGridsInMemory) {
    TrackStore first;
    openAndLoad(first, folder());
    first.putGrid("/m/first.mp3", 1, kSteady);
    first.flush();

    TrackStore second;
    openAndLoad(second, folder());
    EXPECT_EQ(second.state(), TrackStore::State::MemoryOnly);
    EXPECT_NE(second.notice().find("in use by another Spinlorex"), std::string::npos)
        << second.notice();
    EXPECT_NE(second.grid("first.mp3", 1), nullptr);
    second.putGrid("/m/second.mp3", 2, kBeatless);
    EXPECT_EQ(second.grid("second.mp3", 2), kBeatless);
    first.putGrid("/m/third.mp3", 3, kChanging);
    second.flush();
    first.flush();
    ASSERT_TRUE(second.close());
    ASSERT_TRUE(first.close());

    EXPECT_EQ(Sql(file()).value("PRAGMA integrity_check"), "ok");
    TrackStore after;
    openAndLoad(after, folder());
    EXPECT_EQ(after.state(), TrackStore::State::Stored);  // the first one gone, it writes
    EXPECT_NE(after.grid("first.mp3", 1), nullptr);
    EXPECT_NE(after.grid("third.mp3", 3), nullptr);
    EXPECT_EQ(after.grid("second.mp3", 2), nullptr);
}

// A folder that cannot be written: the grids are read, new ones kept in memory, the file
// left as it was; a folder that is not there gives a store in memory alone.
TEST_F(TrackStoreTest, AFolderThatCannotBeWrittenLeavesTheStoreInMemory) {
    TrackStore absent;
    openAndLoad(absent, dir.file("absent"));
    EXPECT_EQ(absent.state(), TrackStore::State::MemoryOnly);
    EXPECT_NE(absent.notice().find("cannot be written in " + dir.file("absent")), std::string::npos)
        << absent.notice();
    absent.putGrid("/x.mp3", 1, kSteady);
    EXPECT_EQ(absent.grid("x.mp3", 1), kSteady);
    EXPECT_TRUE(absent.close());

    const std::string readOnly = dir.file("ro");
    fs::create_directory(readOnly);
    if (::mount("tmpfs", readOnly.c_str(), "tmpfs", 0, "size=4m") != 0)
        GTEST_SKIP() << "a folder cannot be mounted here: " << std::strerror(errno);
    struct Unmount {
        std::string at;
        ~Unmount() { ::umount2(at.c_str(), MNT_DETACH); }
    } unmount{readOnly};
    {
        TrackStore store;
        openAndLoad(store, readOnly);
        store.putGrid("/m/kept.mp3", 5, kChanging);
        ASSERT_TRUE(store.close());
    }
    ASSERT_EQ(::mount("tmpfs", readOnly.c_str(), "tmpfs", MS_REMOUNT | MS_RDONLY, nullptr), 0)
        << std::strerror(errno);
    const Bytes before = test::readFile(readOnly + "/spinlorex Library.sqlite");

    TrackStore store;
    openAndLoad(store, readOnly);
    EXPECT_EQ(store.state(), TrackStore::State::MemoryOnly);
    EXPECT_NE(store.notice().find("cannot be written"), std::string::npos) << store.notice();
    ASSERT_NE(store.grid("kept.mp3", 5), nullptr);
    EXPECT_EQ(*store.grid("kept.mp3", 5), *kChanging);
    store.putGrid("/m/new.mp3", 6, kSteady);
    store.flush();
    EXPECT_EQ(store.grid("new.mp3", 6), kSteady);
    EXPECT_TRUE(store.close());
    EXPECT_EQ(test::readFile(readOnly + "/spinlorex Library.sqlite"), before);
}

// A store written before waveform summaries existed opens with its grids kept and takes
// summaries from then on; a summary asked for comes back as it was stored (to the stored
// precision), one never stored as none, one handed in just before it was asked for as it
// was handed in.
TEST_F(TrackStoreTest, AStoreOfTheFirstVersionKeepsItsGridsAndTakesWaveformSummaries) {
    {
        Sql sql(file());
        ASSERT_EQ(
            sql.exec("CREATE TABLE tracks(id INTEGER PRIMARY KEY, name TEXT NOT NULL,"
                     " size INTEGER NOT NULL, path TEXT NOT NULL DEFAULT '',"
                     " UNIQUE(name, size));"
                     "CREATE TABLE beat_grids(track INTEGER PRIMARY KEY REFERENCES"
                     " tracks(id) ON DELETE CASCADE, fit REAL NOT NULL,"
                     " seconds REAL NOT NULL DEFAULT 0, sections BLOB NOT NULL);"
                     "PRAGMA user_version = 1;"
                     "INSERT INTO tracks(name, size, path) VALUES('old.mp3', 77, '/old.mp3');"),
            SQLITE_OK);
        const std::vector<unsigned char> blob = encodeGridSections(kSteady->sections);
        std::string hex;
        for (const unsigned char b : blob)
            hex += "0123456789abcdef"[b >> 4], hex += "0123456789abcdef"[b & 15];
        ASSERT_EQ(sql.exec("INSERT INTO beat_grids(track, fit, sections) VALUES(1, 0.95, x'" + hex +
                           "')"),
                  SQLITE_OK);
    }
    WaveformSummary summary;
    summary.columnFrames = 500;
    for (int i = 0; i < 3000; ++i)
        summary.columns.push_back({uint8_t(i % 200), uint8_t(i % 50), uint8_t(i % 7 * 30)});
    summary.peak = 199;
    {
        TrackStore store;
        openAndLoad(store, folder());
        ASSERT_NE(store.grid("old.mp3", 77), nullptr);
        EXPECT_EQ(store.grid("old.mp3", 77)->sections, kSteady->sections);
        store.putWaveform("/music/new.mp3", 88, std::make_shared<const WaveformSummary>(summary));
        ASSERT_TRUE(store.close());
    }
    EXPECT_EQ(Sql(file()).value("PRAGMA user_version"), std::to_string(TrackStoreSchema::kVersion));
    TrackStore store;
    store.open(folder());
    // Asked for while its write still waits (the file not even open yet): it is read after
    // it is written.
    summary.columnFrames = 700;
    store.putWaveform("/music/newer.mp3", 99, std::make_shared<const WaveformSummary>(summary));
    store.requestWaveform("newer.mp3", 99);
    store.requestWaveform("new.mp3", 88);
    store.requestWaveform("old.mp3", 77);
    store.flush();
    ASSERT_TRUE(store.takeLoaded());
    EXPECT_EQ(store.grid("old.mp3", 77)->sections, kSteady->sections);
    const std::vector<TrackStore::WaveformRead> reads = store.takeWaveforms();
    ASSERT_EQ(reads.size(), 3u);
    ASSERT_NE(reads[0].summary, nullptr);
    EXPECT_EQ(reads[0].summary->columnFrames, 700);
    EXPECT_EQ(reads[1].key.name, "new.mp3");
    ASSERT_NE(reads[1].summary, nullptr);
    summary.columnFrames = 500;
    EXPECT_EQ(*reads[1].summary, *decodeWaveform(encodeWaveform(summary)));
    EXPECT_EQ(reads[2].summary, nullptr);
}

}  // namespace
}  // namespace spinlorex
