// The internal database: its file byte by byte (built and inspected independently of the
// code under test), the records it keeps and their analysis values.

#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <ctime>
#include <filesystem>
#include <map>

#include "library/DatabaseFile.h"
#include "library/TrackDatabase.h"
#include "platform/core/FatalError.h"
#include "support/Files.h"

namespace spinlorex {
namespace {

using test::Bytes;
using test::get32;
using test::operator+;
using test::put32;
using test::slice;
using test::writeFile;
using Names = std::vector<std::string>;

// A free block; a damaged size below 8 still gets its whole header.
Bytes freeBlock(uint32_t size) {
    Bytes block;
    put32(block, size), put32(block, 0);
    block.resize(std::max(size, 8u), 0);
    return block;
}

// A record block; `blockSize` 0 means the size the program itself would write. The nine
// values are 1..9 unless given; only as many as fit in the block are kept.
Bytes recordBlock(const std::string& name, const std::string& comment, uint32_t fileSize = 1000, uint32_t blockSize = 0,
                  std::vector<uint32_t> values = {1, 2, 3, 4, 5, 6, 7, 8, 9}) {
    const auto dataLength = static_cast<uint32_t>(12 + name.size() + 1 + comment.size() + 1);
    if (blockSize == 0) blockSize = (dataLength + 51) & ~7u;
    Bytes block;
    for (uint32_t word : {blockSize, dataLength, fileSize, 0x43000000u /* 128.0f */, 20240101u}) put32(block, word);
    block.insert(block.end(), name.c_str(), name.c_str() + name.size() + 1);
    block.insert(block.end(), comment.c_str(), comment.c_str() + comment.size() + 1);
    for (uint32_t value : values) put32(block, value);
    block.resize(blockSize, 0);
    return block;
}

bool allZero(const Bytes& bytes) { return std::ranges::all_of(bytes, [](unsigned char b) { return b == 0; }); }

Names namesOf(const std::forward_list<TrackRecord>& records) {
    Names names;
    for (const TrackRecord& record : records) names.push_back(record.name);
    return names;
}

// A home folder of its own for each test, and the database file's place in it.
class DatabaseFileTest : public ::testing::Test {
protected:
    void SetUp() override { clearFatalError(); }
    void TearDown() override { clearFatalError(); }
    std::string folder() const { return dir.path().string(); }
    std::string dbPath() const { return dir.file(TrackDatabase::kFileName); }
    Bytes bytes() const { return test::readFile(dbPath()); }
    // Gives the record a comment and lets the database write it.
    static TrackRecord* store(TrackDatabase& db, const std::string& name, const std::string& comment) {
        TrackRecord* record = db.findOrAdd(name, 1000);
        record->commentOverride = comment;
        db.acquireAnalysis(record);
        db.releaseAnalysis(record);
        return record;
    }
    // The records as a fresh reader of the file finds them, which must succeed.
    std::forward_list<TrackRecord> readBack() const {
        std::forward_list<TrackRecord> records;
        EXPECT_EQ(DatabaseFile::open(dbPath())->readRecords(records), DatabaseFile::ReadResult::Ok);
        return records;
    }

    test::TempDir dir;
    TrackDatabase db;
};
using TrackDatabaseTest = DatabaseFileTest;

TEST_F(DatabaseFileTest, LastReleaseOfTheSharedAnalysisAppendsTheFirstRecordAtZero) {
    ASSERT_TRUE(db.open(folder()));
    TrackRecord* record = db.findOrAdd("/music/song1.mp3", 4242);
    record->bpm = 120.0f;
    TrackAnalysis* values = db.acquireAnalysis(record);
    EXPECT_EQ(values->owner, record);
    EXPECT_EQ(db.acquireAnalysis(record), values);  // shared by its holders
    values->firstStrongBeat = 0.125f;
    values->loudnessPeak = 77;
    db.releaseAnalysis(record);
    EXPECT_EQ(bytes().size(), 0u);
    db.releaseAnalysis(record);
    EXPECT_EQ(record->analysis, nullptr);
    db.releaseAnalysis(record);  // nothing held: nothing happens

    const Bytes file = bytes();
    ASSERT_EQ(file.size(), 72u);
    EXPECT_EQ(record->fileOffset, 0u);
    const uint32_t words[] = {72, 23, 4242, std::bit_cast<uint32_t>(120.0f), db.today()};
    for (int i = 0; i < 5; ++i) EXPECT_EQ(get32(file, 4 * i), words[i]) << i;
    EXPECT_EQ(std::string(file.begin() + 20, file.begin() + 31), std::string("song1.mp3\0\0", 11));
    const uint32_t stored[] = {0, std::bit_cast<uint32_t>(0.125f), 0, 0, 0, 0, 0, 1, 77};
    for (int i = 0; i < 9; ++i) EXPECT_EQ(get32(file, 31 + 4 * i), stored[i]) << i;
    EXPECT_TRUE(allZero(slice(file, 67, 5)));
}

TEST_F(DatabaseFileTest, RecordKeepsItsPlaceWhileItFitsItsBlock) {
    const Bytes next = recordBlock("next.mp3", "keep");
    // "odd.mp3" needs 72 bytes; its 76-byte block leaves 4, too few for a free block.
    writeFile(dbPath(), recordBlock("song1.mp3", "") + recordBlock("odd.mp3", "", 1000, 76) + next);
    ASSERT_TRUE(db.open(folder()));
    EXPECT_EQ(store(db, "song1.mp3", "abc")->fileOffset, 0u);  // dataLength 26 still rounds to 72
    EXPECT_EQ(store(db, "odd.mp3", "")->fileOffset, 72u);

    const Bytes file = bytes();
    ASSERT_EQ(file.size(), 72u + 76u + next.size());
    EXPECT_EQ(get32(file, 0), 72u);
    EXPECT_EQ(get32(file, 4), 26u);
    EXPECT_EQ(get32(file, 72), 76u);
    EXPECT_EQ(slice(file, 148, next.size()), next);
    db.close();
    ASSERT_TRUE(db.open(folder()));
    EXPECT_EQ(db.findOrAdd("song1.mp3", 1000)->comment, "abc");
}

TEST_F(DatabaseFileTest, OutgrownRecordMovesToFirstFitOrTheEndAndFreesItsBlock) {
    const Bytes c = recordBlock("c.mp3", "c");
    // a @0 (64) | free @64 (16) | b @80 (64) | free @144 (160) | c @304 (64)
    writeFile(dbPath(), recordBlock("a.mp3", "") + freeBlock(16) + recordBlock("b.mp3", "") + freeBlock(160) + c);
    const std::string grown(40, 'g');  // needs 104 bytes
    ASSERT_TRUE(db.open(folder()));

    EXPECT_EQ(store(db, "a.mp3", grown)->fileOffset, 144u);
    Bytes file = bytes();
    EXPECT_EQ(get32(file, 0), 80u);  // a's block merged with the free block after it
    EXPECT_TRUE(allZero(slice(file, 4, 76)));
    EXPECT_EQ(get32(file, 144), 104u);
    EXPECT_EQ(get32(file, 248), 56u);  // what the free block did not need
    EXPECT_EQ(get32(file, 252), 0u);
    EXPECT_EQ(slice(file, 304, 64), c);

    // Nothing fits b: it goes to the end; its old block is not merged backwards.
    EXPECT_EQ(store(db, "b.mp3", grown)->fileOffset, 368u);
    file = bytes();
    EXPECT_EQ(file.size(), 472u);
    EXPECT_EQ(get32(file, 0), 80u);
    EXPECT_EQ(get32(file, 80), 64u);
    EXPECT_EQ(get32(file, 84), 0u);

    db.close();
    ASSERT_TRUE(db.open(folder()));
    std::vector<std::string> names;
    for (const TrackRecord& record : db.records()) names.push_back(record.name + "/" + record.comment);
    EXPECT_EQ(names, (std::vector<std::string>{"b.mp3/" + grown, "c.mp3/c", "a.mp3/" + grown}));
    EXPECT_EQ(db.acquireAnalysis(db.findOrAdd("a.mp3", 1000))->loudnessPeak, 9);  // carried along
}

TEST_F(DatabaseFileTest, ShrinkingFreesTheRestMergedWithTheFreeBlocksAfterIt) {
    const std::string longComment(100, 'c');  // 168-byte blocks; 64 without the comment
    writeFile(dbPath(), recordBlock("a.mp3", longComment) + freeBlock(16) + freeBlock(24) +
                                  recordBlock("b.mp3", longComment));
    ASSERT_TRUE(db.open(folder()));
    store(db, "a.mp3", "");
    store(db, "b.mp3", "");  // the last block: leaves a free block at the end

    const Bytes file = bytes();
    ASSERT_EQ(file.size(), 376u);  // never shortened
    EXPECT_EQ(get32(file, 0), 64u);
    EXPECT_EQ(get32(file, 64), 104u + 16u + 24u);
    EXPECT_TRUE(allZero(slice(file, 68, 140)));
    EXPECT_EQ(get32(file, 208), 64u);
    EXPECT_EQ(get32(file, 272), 104u);
    EXPECT_TRUE(allZero(slice(file, 276, 100)));
    EXPECT_EQ(namesOf(readBack()).size(), 2u);
}

TEST_F(DatabaseFileTest, EightByteFreeFileIsAnEmptyDatabase) {
    writeFile(dbPath(), freeBlock(8));
    ASSERT_TRUE(db.open(folder()));
    EXPECT_TRUE(db.records().empty());
    EXPECT_EQ(store(db, "a.mp3", "")->fileOffset, 8u);
    EXPECT_EQ(bytes().size(), 72u);
}

// Runs one write of `target` with the write number `failAt` failing (or cut in half), then
// checks the file from scratch: it reads without error, every other record's block is
// untouched, the target is where its fileOffset says (or absent when it says never
// written), and a failed write never leaves the file longer.
TEST_F(DatabaseFileTest, EveryFailedWriteLeavesTheFileReadableAndOtherRecordsIntact) {
    const std::string longComment(100, 'c'), grown(40, 'g');
    const Bytes ab = recordBlock("a.mp3", "") + recordBlock("b.mp3", "b");
    const struct {
        const char* what;
        Bytes file;
        std::string target, comment;
    } scenarios[] = {
        {"shrinks in place", recordBlock("a.mp3", longComment) + recordBlock("b.mp3", "b") + freeBlock(16), "a.mp3", ""},
        {"same size in place", ab, "a.mp3", "x"},
        {"moves to a free block", ab + freeBlock(160) + recordBlock("c.mp3", "c"), "a.mp3", grown},
        {"moves to the end", ab, "a.mp3", grown},
        {"new record", recordBlock("a.mp3", "") + freeBlock(8), "new.mp3", "n"},
    };
    for (const auto& s : scenarios) {
        // The comment is only certain after a successful write: a failed one in place may garble it.
        auto expectConsistent = [&](const std::forward_list<TrackRecord>& before, const TrackRecord& target, bool stored) {
            const auto now = readBack();
            const Bytes file = bytes();
            std::map<std::string, const TrackRecord*> byName;
            for (const TrackRecord& record : now) EXPECT_TRUE(byName.emplace(record.name, &record).second) << record.name;
            for (const TrackRecord& old : before) {
                if (old.name == s.target) continue;
                ASSERT_TRUE(byName.count(old.name)) << old.name;
                EXPECT_EQ(byName[old.name]->fileOffset, old.fileOffset);
                const uint32_t size = get32(s.file, old.fileOffset);
                EXPECT_EQ(slice(file, old.fileOffset, size), slice(s.file, old.fileOffset, size)) << old.name;
            }
            ASSERT_EQ(byName.count(s.target) == 1, target.fileOffset != TrackRecord::kNeverWritten);
            if (byName.count(s.target)) {
                EXPECT_EQ(byName[s.target]->fileOffset, target.fileOffset);
                EXPECT_TRUE(!stored || byName[s.target]->comment == s.comment) << byName[s.target]->comment;
            }
        };
        for (const bool torn : {false, true}) {
            for (int failAt = 0;; ++failAt) {
                SCOPED_TRACE(testing::Message() << s.what << (torn ? ", torn" : ", failed") << " write " << failAt);
                writeFile(dbPath(), s.file);
                auto file = DatabaseFile::open(dbPath());
                ASSERT_TRUE(file && !file->readOnly());
                std::forward_list<TrackRecord> records;
                ASSERT_EQ(file->readRecords(records), DatabaseFile::ReadResult::Ok);
                auto found = std::find_if(records.begin(), records.end(), [&](auto& r) { return r.name == s.target; });
                TrackRecord& target = found != records.end() ? *found : records.emplace_front();
                target.name = s.target;
                target.commentOverride = s.comment;
                const uint32_t oldOffset = target.fileOffset;

                int writes = 0;
                file->setWriteGate([&](uint64_t, size_t length) -> size_t {
                    if (writes++ != failAt) return length;
                    return torn && length > 8 ? length / 2 : 0;  // a header is taken as all or nothing
                });
                const bool stored = file->writeRecord(target);
                const bool faultHit = writes > failAt;
                EXPECT_TRUE(stored || faultHit);
                if (!stored) {
                    EXPECT_TRUE(target.fileOffset == oldOffset || target.fileOffset == TrackRecord::kNeverWritten);
                    EXPECT_LE(bytes().size(), s.file.size());
                }
                expectConsistent(records, target, stored);

                file->setWriteGate(nullptr);
                EXPECT_TRUE(file->writeRecord(target));
                expectConsistent(records, target, true);
                if (!faultHit) break;
            }
        }
    }
}

TEST_F(DatabaseFileTest, RecordWhoseMoveFailsForgetsItsFreedBlock) {
    const Bytes original = recordBlock("a.mp3", "") + recordBlock("b.mp3", "b");
    writeFile(dbPath(), original);
    auto file = DatabaseFile::open(dbPath());
    std::forward_list<TrackRecord> records;
    ASSERT_EQ(file->readRecords(records), DatabaseFile::ReadResult::Ok);
    TrackRecord& a = records.front().name == "a.mp3" ? records.front() : *std::next(records.begin());
    a.commentOverride = std::string(40, 'g');

    // a's block is freed, then the append at the end fails.
    file->setWriteGate([&](uint64_t offset, size_t length) -> size_t { return offset >= original.size() ? 0 : length; });
    EXPECT_FALSE(file->writeRecord(a));
    EXPECT_EQ(a.fileOffset, TrackRecord::kNeverWritten);
    EXPECT_EQ(bytes().size(), original.size());
    file->setWriteGate(nullptr);

    // A newcomer reuses the freed block; a's next write must not land on it.
    TrackRecord& newcomer = records.emplace_front();
    newcomer.name = "z.mp3";
    ASSERT_TRUE(file->writeRecord(newcomer));
    EXPECT_EQ(newcomer.fileOffset, 0u);
    ASSERT_TRUE(file->writeRecord(a));
    EXPECT_EQ(a.fileOffset, 128u);
    EXPECT_EQ(namesOf(readBack()), (std::vector<std::string>{"a.mp3", "b.mp3", "z.mp3"}));
}

TEST_F(TrackDatabaseTest, RecordsAreKeyedByExactFileNameAndSize) {
    ASSERT_TRUE(db.open(folder()));
    TrackRecord* a = db.findOrAdd("/music/house/a.mp3", 100);
    EXPECT_EQ(a->name, "a.mp3");
    EXPECT_EQ(db.findOrAdd("/media/usb/a.mp3", 100), a);  // a moved file keeps its record
    EXPECT_NE(db.findOrAdd("a.mp3", 200), a);
    EXPECT_NE(db.findOrAdd("/music/A.mp3", 100), a);
    db.findOrAdd("no folder.wav", 5);
    db.findOrAdd("C:\\music\\b.mp3", 7);  // a backslash is an ordinary character here
    EXPECT_EQ(namesOf(db.records()), (Names{"C:\\music\\b.mp3", "no folder.wav", "A.mp3", "a.mp3", "a.mp3"}));
    EXPECT_EQ(std::filesystem::file_size(dbPath()), 0u);  // finding records writes nothing
}

TEST_F(TrackDatabaseTest, AKeyStoredTwiceFindsTheRecordReadLastAndReopeningForgetsOldRecords) {
    Bytes first = recordBlock("twice.mp3", "first", 500);
    Bytes second = recordBlock("twice.mp3", "second", 500);
    writeFile(dbPath(), first + recordBlock("other.mp3", "", 500) + second);
    ASSERT_TRUE(db.open(folder()));
    TrackRecord* found = db.findOrAdd("/x/twice.mp3", 500);
    EXPECT_EQ(found->comment, "second");  // the head of the list: read last
    EXPECT_EQ(found, &db.records().front());
    EXPECT_EQ(db.findOrAdd("other.mp3", 500)->comment, "");
    EXPECT_EQ(std::distance(db.records().begin(), db.records().end()), 3);

    // Records made in this run are found again; after a reopen only the file's are known.
    TrackRecord* fresh = db.findOrAdd("fresh.mp3", 1);
    EXPECT_EQ(db.findOrAdd("/elsewhere/fresh.mp3", 1), fresh);
    db.close();
    writeFile(dbPath(), recordBlock("other.mp3", "again", 500));
    ASSERT_TRUE(db.open(folder()));
    EXPECT_EQ(db.findOrAdd("other.mp3", 500)->comment, "again");
    EXPECT_EQ(db.findOrAdd("twice.mp3", 500)->comment, "");
    EXPECT_EQ(std::distance(db.records().begin(), db.records().end()), 2);
}

TEST_F(TrackDatabaseTest, TodayIsTheLocalDatePacked) {
    EXPECT_EQ(TrackDatabase::packDate(2024, 3, 15), 2072783u);
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    EXPECT_EQ(TrackDatabase().today(), TrackDatabase::packDate(local.tm_year + 1900, local.tm_mon + 1, local.tm_mday));
}

TEST_F(TrackDatabaseTest, RecordsAndStoredValuesSurviveCloseAndOpen) {
    {
        TrackDatabase writer;
        ASSERT_TRUE(writer.open(folder()));
        TrackRecord* first = writer.findOrAdd("/a/first.mp3", 111);
        TrackAnalysis* values = writer.acquireAnalysis(first);
        for (int i = 0; i < TrackAnalysis::kStoredValues; ++i) values->setStoredWord(i, 0x01010101u * (i + 1));
        values->bpmConfidence = TrackAnalysis::kHandSetConfidence;
        first->bpm = 128.5f;
        first->commentOverride = "warm-up";
        writer.releaseAnalysis(first);
        writer.acquireAnalysis(writer.findOrAdd("second.wav", 222))->cuePoint = 0.5f;
        // still held: the destructor's close writes it
    }
    ASSERT_TRUE(db.open(folder()));
    ASSERT_EQ(namesOf(db.records()), (Names{"second.wav", "first.mp3"}));
    TrackRecord* first = db.findOrAdd("first.mp3", 111);
    EXPECT_EQ(first->comment, "warm-up");
    EXPECT_EQ(first->currentBpm(), 128.5f);
    EXPECT_EQ(first->lastUsedDate, db.today());
    TrackAnalysis* values = db.acquireAnalysis(first);
    for (int i = 0; i < TrackAnalysis::kStoredValues; ++i)
        EXPECT_EQ(values->storedWord(i), i == 6 ? 0x7FFFFFFFu : 0x01010101u * (i + 1)) << i;
    EXPECT_EQ(db.acquireAnalysis(db.findOrAdd("second.wav", 222))->cuePoint, 0.5f);
}

TEST_F(TrackDatabaseTest, BlocksWithFewerValuesReadOnlyThoseThatFit) {
    // "three.mp3": dataLength 23, room for three values; "one.mp3": one value and 2 bytes.
    writeFile(dbPath(), recordBlock("three.mp3", "", 1, 23 + 8 + 12, {11, 12, 13, 14}) +
                                  recordBlock("one.mp3", "", 2, 21 + 8 + 6, {21, 22}));
    ASSERT_TRUE(db.open(folder()));
    TrackAnalysis* three = db.acquireAnalysis(db.findOrAdd("three.mp3", 1));
    TrackAnalysis* one = db.acquireAnalysis(db.findOrAdd("one.mp3", 2));
    const uint32_t expectThree[] = {11, 12, 13, 0, 0, 0, 0, 1, 0};
    const uint32_t expectOne[] = {21, 0, 0, 0, 0, 0, 0, 1, 0};
    for (int i = 0; i < TrackAnalysis::kStoredValues; ++i) {
        EXPECT_EQ(three->storedWord(i), expectThree[i]) << i;
        EXPECT_EQ(one->storedWord(i), expectOne[i]) << i;
    }
}

TEST_F(TrackDatabaseTest, DamagedFilesStopWithTheMatchingMessageAndKeepEarlierRecords) {
    auto block = [](uint32_t blockSize, uint32_t dataLength, size_t bytesInFile) {
        Bytes bytes;
        put32(bytes, blockSize);
        put32(bytes, dataLength);
        bytes.resize(bytesInFile, 'x');
        return bytes;
    };
    const Bytes damaged[] = {
        block(40, 13, 40),                           // dataLength below 14
        block(64, 0xFFFFFFF0u, 64),                  // negative dataLength
        block(0x7FFFFFFCu, 0x7FFFFFF0u, 64),         // data far beyond the end: no giant buffer
        block(200, 150, 100),                        // data cut short
        recordBlock("x.mp3", "", 1, 19 + 11),        // blockSize below dataLength + 12
        freeBlock(4), Bytes{1, 2, 3, 4, 5},    // free block below a header; header cut short
    };
    for (const Bytes& tail : damaged) {
        writeFile(dbPath(), recordBlock("keep.mp3", "") + tail);
        clearFatalError();
        EXPECT_FALSE(db.open(folder()));
        EXPECT_STREQ(fatalError(), "The internal database is corrupted");
        EXPECT_EQ(namesOf(db.records()), Names{"keep.mp3"});
        EXPECT_FALSE(db.hasFile());
    }

    // The smallest legal record block and a free block that runs past the end are fine.
    writeFile(dbPath(), recordBlock("y.mp3", "", 1, 19 + 12) + freeBlock(16) + Bytes{0, 1, 0, 0, 0, 0, 0, 0});
    clearFatalError();
    EXPECT_TRUE(db.open(folder()));
    EXPECT_EQ(fatalError(), nullptr);
    EXPECT_EQ(namesOf(db.records()), Names{"y.mp3"});

    std::filesystem::remove(dbPath());
    std::filesystem::create_directory(dbPath());  // opens for reading, every read fails
    EXPECT_FALSE(db.open(folder()));
    EXPECT_STREQ(fatalError(), "Error in the file system driver");
}

TEST_F(TrackDatabaseTest, SecondOpenerOnlyReadsAndNeverWrites) {
    ASSERT_TRUE(db.open(folder()));
    TrackRecord* shared = db.findOrAdd("shared.mp3", 9);
    db.acquireAnalysis(shared)->cuePoint = 0.5f;
    db.releaseAnalysis(shared);
    const Bytes before = bytes();

    TrackDatabase reader;
    ASSERT_TRUE(reader.open(folder()));
    EXPECT_TRUE(reader.readOnly());
    ASSERT_EQ(namesOf(reader.records()), Names{"shared.mp3"});
    TrackRecord* mine = reader.findOrAdd("shared.mp3", 9);
    TrackAnalysis* values = reader.acquireAnalysis(mine);
    EXPECT_EQ(values->cuePoint, 0.0f);  // defaults: stored values are not read without write access
    values->cuePoint = 0.9f;
    mine->commentOverride = "changed";
    reader.releaseAnalysis(mine);
    reader.acquireAnalysis(reader.findOrAdd("other.mp3", 3));
    reader.close();
    EXPECT_EQ(bytes(), before);
}

TEST_F(TrackDatabaseTest, MissingFolderMeansNoFileSilently) {
    const std::string absent = (dir.path() / "absent").string();
    EXPECT_TRUE(db.open(absent));
    EXPECT_EQ(fatalError(), nullptr);
    EXPECT_FALSE(db.hasFile());
    TrackRecord* record = db.findOrAdd("x.mp3", 1);
    db.acquireAnalysis(record);
    db.releaseAnalysis(record);
    EXPECT_FALSE(std::filesystem::exists(absent));
}

}  // namespace
}  // namespace spinlorex
