// The internal database: its file byte by byte (built and inspected independently of the
// code under test), the records it keeps and their analysis values.

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <algorithm>
#include <bit>
#include <ctime>
#include <filesystem>
#include <iostream>
#include <map>
#include <random>
#include <semaphore>
#include <thread>
#include <utility>

#include "audio/WavReader.h"
#include "library/DatabaseFile.h"
#include "library/DatabaseWriter.h"
#include "library/FolderListing.h"
#include "library/TrackDatabase.h"
#include "platform/core/FatalError.h"
#include "support/ChildProcess.h"
#include "support/DeckHarness.h"
#include "support/Files.h"

namespace spinlorex {
namespace {

using test::Bytes;
using test::get32;
using test::put16;
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
Bytes recordBlock(const std::string& name, const std::string& comment, uint32_t fileSize = 1000,
                  uint32_t blockSize = 0,
                  std::vector<uint32_t> values = {1, 2, 3, 4, 5, 6, 7, 8, 9}) {
    const auto dataLength = static_cast<uint32_t>(12 + name.size() + 1 + comment.size() + 1);
    if (blockSize == 0) blockSize = (dataLength + 51) & ~7u;
    Bytes block;
    for (uint32_t word : {blockSize, dataLength, fileSize, 0x43000000u /* 128.0f */, 20240101u})
        put32(block, word);
    block.insert(block.end(), name.c_str(), name.c_str() + name.size() + 1);
    block.insert(block.end(), comment.c_str(), comment.c_str() + comment.size() + 1);
    for (uint32_t value : values) put32(block, value);
    block.resize(blockSize, 0);
    return block;
}

bool allZero(const Bytes& bytes) {
    return std::ranges::all_of(bytes, [](unsigned char b) { return b == 0; });
}

// Where the file's chain holds a record block of each name (the later of two).
std::map<std::string, uint32_t> blocksIn(const Bytes& file) {
    std::map<std::string, uint32_t> at;
    for (size_t offset = 0; offset + 8 <= file.size() && get32(file, offset) >= 8;
         offset += get32(file, offset))
        if (get32(file, offset + 4) != 0)
            at[reinterpret_cast<const char*>(file.data() + offset + 20)] =
                static_cast<uint32_t>(offset);
    return at;
}

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
    // Gives the record a comment, lets the database write it and returns where its block
    // is now.
    uint32_t store(TrackDatabase& db, const std::string& name, const std::string& comment) {
        TrackRecord* record = db.findOrAdd(name, 1000);
        record->commentOverride = comment;
        db.acquireAnalysis(record);
        db.releaseAnalysis(record);
        db.flush();
        const auto at = blocksIn(bytes());
        return at.contains(name) ? at.at(name) : DatabaseFile::kNeverWritten;
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

    db.flush();
    const Bytes file = bytes();
    ASSERT_EQ(file.size(), 72u);
    const uint32_t words[] = {72, 23, 4242, std::bit_cast<uint32_t>(120.0f), db.today()};
    for (int i = 0; i < 5; ++i) EXPECT_EQ(get32(file, 4 * i), words[i]) << i;
    EXPECT_EQ(std::string(file.begin() + 20, file.begin() + 31), std::string("song1.mp3\0\0", 11));
    const uint32_t stored[] = {0, std::bit_cast<uint32_t>(0.125f), 0, 0, 0, 0, 0, 1, 77};
    for (int i = 0; i < 9; ++i) EXPECT_EQ(get32(file, 31 + 4 * i), stored[i]) << i;
    EXPECT_TRUE(allZero(slice(file, 67, 5)));
}

TEST_F(DatabaseFileTest, ARewrittenRecordMovesAfterItsOldBlockWhichIsFreedOnlyThen) {
    const Bytes next = recordBlock("next.mp3", "keep");
    // "odd.mp3" needs 72 bytes; its 76-byte block leaves 4, too few for a free block.
    writeFile(dbPath(), recordBlock("song1.mp3", "") + recordBlock("odd.mp3", "", 1000, 76) +
                            freeBlock(72) + next);
    ASSERT_TRUE(db.open(folder()));
    // Even when it would still fit its block, a record is never overwritten where it
    // stands: the new version goes to the first free block after the old one.
    EXPECT_EQ(store(db, "song1.mp3", "abc"), 148u);
    EXPECT_EQ(store(db, "odd.mp3", ""),
              220u + next.size());  // nothing after it fits: the end

    const Bytes file = bytes();
    ASSERT_EQ(file.size(), 220u + next.size() + 72u);
    EXPECT_EQ(get32(file, 0), 72u);  // both old blocks freed, never merged backwards
    EXPECT_TRUE(allZero(slice(file, 4, 68)));
    EXPECT_EQ(get32(file, 72), 76u);
    EXPECT_TRUE(allZero(slice(file, 76, 72)));
    EXPECT_EQ(get32(file, 148), 72u);
    EXPECT_EQ(get32(file, 152), 26u);
    EXPECT_EQ(slice(file, 220, next.size()), next);
    db.close();
    ASSERT_TRUE(db.open(folder()));
    EXPECT_EQ(db.findOrAdd("song1.mp3", 1000)->comment, "abc");
    EXPECT_EQ(db.notice(), "");
}

TEST_F(DatabaseFileTest, OutgrownRecordMovesToFirstFitOrTheEndAndFreesItsBlock) {
    const Bytes c = recordBlock("c.mp3", "c");
    // a @0 (64) | free @64 (16) | b @80 (64) | free @144 (160) | c @304 (64)
    writeFile(dbPath(), recordBlock("a.mp3", "") + freeBlock(16) + recordBlock("b.mp3", "") +
                            freeBlock(160) + c);
    const std::string grown(40, 'g');  // needs 104 bytes
    ASSERT_TRUE(db.open(folder()));

    EXPECT_EQ(store(db, "a.mp3", grown), 144u);
    Bytes file = bytes();
    EXPECT_EQ(get32(file, 0), 80u);  // a's block merged with the free block after it
    EXPECT_TRUE(allZero(slice(file, 4, 76)));
    EXPECT_EQ(get32(file, 144), 104u);
    EXPECT_EQ(get32(file, 248), 56u);  // what the free block did not need
    EXPECT_EQ(get32(file, 252), 0u);
    EXPECT_EQ(slice(file, 304, 64), c);

    // Nothing fits b: it goes to the end; its old block is not merged backwards.
    EXPECT_EQ(store(db, "b.mp3", grown), 368u);
    file = bytes();
    EXPECT_EQ(file.size(), 472u);
    EXPECT_EQ(get32(file, 0), 80u);
    EXPECT_EQ(get32(file, 80), 64u);
    EXPECT_EQ(get32(file, 84), 0u);

    db.close();
    ASSERT_TRUE(db.open(folder()));
    std::vector<std::string> names;
    for (const TrackRecord& record : db.records())
        names.push_back(record.name + "/" + record.comment);
    EXPECT_EQ(names, (std::vector<std::string>{"b.mp3/" + grown, "c.mp3/c", "a.mp3/" + grown}));
    EXPECT_EQ(db.acquireAnalysis(db.findOrAdd("a.mp3", 1000))->loudnessPeak, 9);  // carried along
}

TEST_F(DatabaseFileTest, AShrunkRecordMovesTooAndItsOldBlockMergesWithTheFreeBlocksAfterIt) {
    const std::string longComment(100, 'c');  // 168-byte blocks; 64 without the comment
    writeFile(dbPath(), recordBlock("a.mp3", longComment) + freeBlock(16) + freeBlock(24) +
                            recordBlock("b.mp3", longComment));
    ASSERT_TRUE(db.open(folder()));
    EXPECT_EQ(store(db, "a.mp3", ""), 376u);  // neither free block fits alone
    EXPECT_EQ(store(db, "b.mp3", ""), 440u);

    const Bytes file = bytes();
    ASSERT_EQ(file.size(), 504u);
    EXPECT_EQ(get32(file, 0), 168u + 16u + 24u);
    EXPECT_EQ(get32(file, 4), 0u);
    EXPECT_TRUE(allZero(slice(file, 8, 200)));
    EXPECT_EQ(get32(file, 208), 168u);  // not merged backwards
    EXPECT_EQ(get32(file, 212), 0u);
    EXPECT_EQ(namesOf(readBack()), (Names{"b.mp3", "a.mp3"}));
}

TEST_F(DatabaseFileTest, EightByteFreeFileIsAnEmptyDatabase) {
    writeFile(dbPath(), freeBlock(8));
    ASSERT_TRUE(db.open(folder()));
    EXPECT_TRUE(db.records().empty());
    EXPECT_EQ(store(db, "a.mp3", ""), 8u);
    EXPECT_EQ(bytes().size(), 72u);
}

// Runs one write of `target` with the write number `failAt` failing (or cut in half), then
// checks the file from scratch: it reads without error, every other record's block is
// untouched, the target is where the writer's map says (or absent when it says never
// written) and reads as it was or as it became, and a failed write leaves it as it was and
// never leaves the file longer.
TEST_F(DatabaseFileTest, EveryFailedWriteLeavesTheFileReadableAndOtherRecordsIntact) {
    const std::string longComment(100, 'c'), grown(40, 'g');
    const Bytes ab = recordBlock("a.mp3", "") + recordBlock("b.mp3", "b");
    const struct {
        const char* what;
        Bytes file;
        std::string target, comment;
    } scenarios[] = {
        {"shrinks", recordBlock("a.mp3", longComment) + recordBlock("b.mp3", "b") + freeBlock(16),
         "a.mp3", ""},
        {"same size", ab, "a.mp3", "x"},
        {"moves to a free block", ab + freeBlock(160) + recordBlock("c.mp3", "c"), "a.mp3", grown},
        {"moves to the end", ab, "a.mp3", grown},
        {"new record", recordBlock("a.mp3", "") + freeBlock(8), "new.mp3", "n"},
    };
    for (const auto& s : scenarios) {
        std::string oldComment;
        const auto before = blocksIn(s.file);
        auto expectConsistent = [&](const DatabaseFile& writer, const TrackRecord& target,
                                    bool stored) {
            const auto now = readBack();
            const Bytes file = bytes();
            auto at = blocksIn(file);
            std::map<std::string, const TrackRecord*> byName;
            for (const TrackRecord& record : now)
                EXPECT_TRUE(byName.emplace(record.name, &record).second) << record.name;
            for (const auto& [name, offset] : before) {
                if (name == s.target) continue;
                ASSERT_TRUE(byName.count(name)) << name;
                EXPECT_EQ(at[name], offset);
                const uint32_t size = get32(s.file, offset);
                EXPECT_EQ(slice(file, offset, size), slice(s.file, offset, size)) << name;
            }
            const uint32_t offset = writer.offsetOf(target);
            ASSERT_EQ(byName.count(s.target) == 1, offset != DatabaseFile::kNeverWritten);
            if (byName.count(s.target)) {
                EXPECT_EQ(at[s.target], offset);
                EXPECT_EQ(byName[s.target]->comment, stored ? s.comment : oldComment);
            }
        };
        for (const bool torn : {false, true}) {
            for (int failAt = 0;; ++failAt) {
                SCOPED_TRACE(testing::Message()
                             << s.what << (torn ? ", torn" : ", failed") << " write " << failAt);
                writeFile(dbPath(), s.file);
                auto file = DatabaseFile::open(dbPath());
                ASSERT_TRUE(file && !file->readOnly());
                std::forward_list<TrackRecord> records;
                ASSERT_EQ(file->readRecords(records), DatabaseFile::ReadResult::Ok);
                auto found = std::find_if(records.begin(), records.end(),
                                          [&](auto& r) { return r.name == s.target; });
                oldComment = found != records.end() ? found->comment : "";
                TrackRecord& target = found != records.end() ? *found : records.emplace_front();
                target.name = s.target;
                target.commentOverride = s.comment;
                const uint32_t oldOffset = file->offsetOf(target);

                int writes = 0;
                file->setWriteGate([&](uint64_t, size_t length) -> size_t {
                    if (writes++ != failAt) return length;
                    return torn && length > 8 ? length / 2
                                              : 0;  // a header is taken as all or nothing
                });
                const bool stored = file->writeRecord(target);
                const bool faultHit = writes > failAt;
                EXPECT_TRUE(stored || faultHit);
                if (!stored) {
                    EXPECT_EQ(file->offsetOf(target), oldOffset);
                    EXPECT_LE(bytes().size(), s.file.size());
                }
                expectConsistent(*file, target, stored);

                file->setWriteGate(nullptr);
                EXPECT_TRUE(file->writeRecord(target));
                expectConsistent(*file, target, true);
                if (!faultHit) break;
            }
        }
    }
}

TEST_F(DatabaseFileTest, ARecordWhoseNewBlockCannotBeWrittenKeepsItsOldOneUntouched) {
    const Bytes original = recordBlock("a.mp3", "") + recordBlock("b.mp3", "b");
    writeFile(dbPath(), original);
    auto file = DatabaseFile::open(dbPath());
    std::forward_list<TrackRecord> records;
    ASSERT_EQ(file->readRecords(records), DatabaseFile::ReadResult::Ok);
    TrackRecord& a =
        records.front().name == "a.mp3" ? records.front() : *std::next(records.begin());
    a.commentOverride = std::string(40, 'g');

    // The append at the end fails: a stays where it was, as it was.
    file->setWriteGate([&](uint64_t offset, size_t length) -> size_t {
        return offset >= original.size() ? 0 : length;
    });
    EXPECT_FALSE(file->writeRecord(a));
    EXPECT_EQ(file->offsetOf(a), 0u);
    EXPECT_EQ(bytes(), original);
    file->setWriteGate(nullptr);

    ASSERT_TRUE(file->writeRecord(a));
    EXPECT_EQ(file->offsetOf(a), 128u);
    // A newcomer reuses the freed block.
    TrackRecord& newcomer = records.emplace_front();
    newcomer.name = "z.mp3";
    ASSERT_TRUE(file->writeRecord(newcomer));
    EXPECT_EQ(file->offsetOf(newcomer), 0u);
    EXPECT_EQ(namesOf(readBack()), (std::vector<std::string>{"a.mp3", "b.mp3", "z.mp3"}));
}

// While the writer is busy with one block, the thread handing blocks over goes on; a record
// handed over three times meanwhile is written once more, in its last state.
TEST_F(DatabaseFileTest, TheWriterWritesARecordHandedOverAgainOnceInItsLatestState) {
    writeFile(dbPath(), recordBlock("a.mp3", "") + recordBlock("b.mp3", ""));
    auto file = DatabaseFile::open(dbPath());
    std::forward_list<TrackRecord> records;
    ASSERT_EQ(file->readRecords(records), DatabaseFile::ReadResult::Ok);
    TrackRecord& b = records.front();
    TrackRecord& a = *std::next(records.begin());
    bool first = true;  // (the writer thread's)
    std::binary_semaphore busy(0), goOn(0);
    file->setWriteGate([&](uint64_t, size_t length) {
        if (std::exchange(first, false)) busy.release(), goOn.acquire();
        return length;
    });
    auto handOver = [](DatabaseWriter& writer, TrackRecord& record, const std::string& comment) {
        record.commentOverride = comment;
        writer.write(&record, DatabaseFile::encodeRecord(record));
    };
    {
        DatabaseWriter writer(std::move(file));
        handOver(writer, a, "first");
        busy.acquire();  // the writer is in the middle of "first"
        handOver(writer, b, "b");
        for (const char* later : {"second", "third", "last"}) handOver(writer, a, later);
        goOn.release();
        writer.flush();
        EXPECT_EQ(writer.failures(), 0);
    }  // (the writer held the file's lock)
    std::map<std::string, std::string> comments;
    for (const TrackRecord& record : readBack()) comments[record.name] = record.comment;
    EXPECT_EQ(comments, (std::map<std::string, std::string>{{"a.mp3", "last"}, {"b.mp3", "b"}}));
    // Each version grew out of its block and was appended: a@0 and b@64 (64 bytes each),
    // "first" @128 (72), "b" @200 (64), "last" @264 (72), and no more.
    EXPECT_EQ(bytes().size(), 336u);
}

TEST_F(DatabaseFileTest, WhatACrashLeavesIsRepairedAtTheNextOpen) {
    // A rewrite interrupted after the new version was written and before the old one was
    // freed: both versions are in the file, the later is the newer.
    const Bytes oldA = recordBlock("a.mp3", "old");
    const Bytes b = recordBlock("b.mp3", "b");
    // An append cut short: a free block header and part of the record behind it.
    Bytes cut = recordBlock("c.mp3", "c");
    cut[4] = cut[5] = cut[6] = cut[7] = 0;
    cut.resize(30);
    const Bytes original = oldA + b + recordBlock("a.mp3", "new") + cut;
    writeFile(dbPath(), original);
    {
        // While another program holds the file, reading takes the newer version and
        // changes nothing.
        const int fd = ::open(dbPath().c_str(), O_RDONLY | O_CLOEXEC);
        ASSERT_EQ(::flock(fd, LOCK_EX), 0);
        TrackDatabase reader;
        ASSERT_TRUE(reader.open(folder()));
        EXPECT_TRUE(reader.readOnly());
        EXPECT_EQ(reader.findOrAdd("a.mp3", 1000)->comment, "new");
        EXPECT_EQ(std::distance(reader.records().begin(), reader.records().end()), 2);
        EXPECT_EQ(reader.notice(), "");
        EXPECT_EQ(bytes(), original);
        ::close(fd);
    }
    // The writer keeps the new version, frees the old and cuts the torn append off.
    ASSERT_TRUE(db.open(folder()));
    EXPECT_EQ(db.findOrAdd("a.mp3", 1000)->comment, "new");
    const Bytes file = bytes();
    EXPECT_EQ(blocksIn(file).at("a.mp3"), 136u);
    ASSERT_EQ(file.size(), 208u);
    EXPECT_EQ(get32(file, 0), 72u);
    EXPECT_EQ(get32(file, 4), 0u);
    EXPECT_EQ(slice(file, 72, 64), b);
    EXPECT_EQ(db.notice(), "");
}

TEST_F(TrackDatabaseTest, RecordsAreKeyedByExactFileNameAndSize) {
    ASSERT_TRUE(db.open(folder()));
    TrackRecord* a = db.findOrAdd("/music/house/a.mp3", 100);
    EXPECT_EQ(a->name, "a.mp3");
    EXPECT_EQ(db.findOrAdd("/media/usb/a.mp3", 100), a);  // a moved file keeps its record
    EXPECT_NE(db.findOrAdd("a.mp3", 200), a);
    EXPECT_NE(db.findOrAdd("/music/A.mp3", 100), a);
    db.findOrAdd("no folder.wav", 5);
    db.findOrAdd("/music/x\\b.mp3", 7);  // a backslash is an ordinary character here
    EXPECT_EQ(namesOf(db.records()),
              (Names{"x\\b.mp3", "no folder.wav", "A.mp3", "a.mp3", "a.mp3"}));
    EXPECT_EQ(std::filesystem::file_size(dbPath()), 0u);  // finding records writes nothing
}

// A file of 4 GiB or more is keyed by the low 32 bits of its size (a multiple of 4 GiB by
// 0xFFFFFFFF) wherever it is met: the files list and a deck's reader find one record.
TEST_F(TrackDatabaseTest, AFileOf4GiBOrMoreListedAndOpenedFindsOneRecord) {
    ASSERT_TRUE(db.open(folder()));
    const std::string crate = dir.file("crate");
    std::filesystem::create_directory(crate);
    for (const uint64_t size : {uint64_t{9} << 29, uint64_t{8} << 30}) {  // 4.5 and 8 GiB
        SCOPED_TRACE(size);
        const std::string path = crate + "/big.wav";
        // 16-bit stereo at 44100 Hz, two seconds; the rest of the file is a hole.
        Bytes wav;
        const uint32_t data = 2 * 44100 * 4;
        wav.insert(wav.end(), {'R', 'I', 'F', 'F'}), put32(wav, 36 + data);
        wav.insert(wav.end(), {'W', 'A', 'V', 'E', 'f', 'm', 't', ' '}), put32(wav, 16);
        put16(wav, 1), put16(wav, 2), put32(wav, 44100), put32(wav, 44100 * 4), put16(wav, 4);
        put16(wav, 16), wav.insert(wav.end(), {'d', 'a', 't', 'a'}), put32(wav, data);
        writeFile(path, wav);
        ASSERT_EQ(::truncate(path.c_str(), static_cast<off_t>(size)), 0);

        const std::vector<FolderItem> listed = listFolderFiles(crate);
        ASSERT_EQ(listed.size(), 1u);
        TrackRecord* record = db.findOrAdd(listed[0].path, listed[0].size);
        EXPECT_NE(record->fileSize, 0u);
        WavReader reader;
        ASSERT_EQ(reader.open(path), 2);
        EXPECT_EQ(db.findOrAdd(path, reader.fileSize()), record);
    }
    EXPECT_EQ(std::distance(db.records().begin(), db.records().end()), 2);
}

TEST_F(TrackDatabaseTest, AKeyStoredTwiceFindsTheLaterVersionAndReopeningForgetsOldRecords) {
    Bytes first = recordBlock("twice.mp3", "first", 500);
    Bytes second = recordBlock("twice.mp3", "second", 500);
    writeFile(dbPath(), first + recordBlock("other.mp3", "", 500) + second);
    ASSERT_TRUE(db.open(folder()));
    TrackRecord* found = db.findOrAdd("/x/twice.mp3", 500);
    EXPECT_EQ(found->comment, "second");  // the later version; the earlier one is let go
    EXPECT_EQ(db.findOrAdd("other.mp3", 500)->comment, "");
    EXPECT_EQ(std::distance(db.records().begin(), db.records().end()), 2);

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
    EXPECT_EQ(TrackDatabase().today(),
              TrackDatabase::packDate(local.tm_year + 1900, local.tm_mon + 1, local.tm_mday));
}

TEST_F(TrackDatabaseTest, RecordsAndStoredValuesSurviveCloseAndOpen) {
    {
        TrackDatabase writer;
        ASSERT_TRUE(writer.open(folder()));
        TrackRecord* first = writer.findOrAdd("/a/first.mp3", 111);
        TrackAnalysis* values = writer.acquireAnalysis(first);
        for (int i = 0; i < TrackAnalysis::kStoredValues; ++i)
            values->setStoredWord(i, 0x01010101u * (i + 1));
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

TEST_F(TrackDatabaseTest, ADamagedFileKeepsEveryReadableRecordAndIsSetAsideOnce) {
    auto block = [](uint32_t blockSize, uint32_t dataLength, size_t bytesInFile) {
        Bytes bytes;
        put32(bytes, blockSize);
        put32(bytes, dataLength);
        bytes.resize(bytesInFile, 'x');
        return bytes;
    };
    const Bytes keep = recordBlock("keep.mp3", "");
    const Bytes after =
        recordBlock("after.mp3", "a", 2000, 0, {11, 12, 13, 14, 15, 16, 17, 18, 19});
    Bytes hugeBlock = recordBlock("huge.mp3", "h");
    hugeBlock[0] = 0xF0, hugeBlock[1] = 0xFF, hugeBlock[2] = 0xFF,
    hugeBlock[3] = 0x7F;  // runs far past the end
    const struct {
        const char* what;
        Bytes file;
        Names kept;
    } cases[] = {
        {"dataLength below 14", keep + block(40, 13, 40), {"keep.mp3"}},
        {"negative dataLength", keep + block(64, 0xFFFFFFF0u, 64), {"keep.mp3"}},
        {"data far beyond the end", keep + block(0x7FFFFFFCu, 0x7FFFFFF0u, 64), {"keep.mp3"}},
        {"data cut short", keep + block(200, 150, 100), {"keep.mp3"}},
        {"blockSize below dataLength + 12",
         keep + recordBlock("x.mp3", "", 1, 19 + 11),
         {"keep.mp3"}},
        {"free block below a header", keep + freeBlock(4), {"keep.mp3"}},
        {"header cut short", keep + Bytes{1, 2, 3, 4, 5}, {"keep.mp3"}},
        {"a damaged block between two records",
         keep + block(40, 13, 40) + after,
         {"after.mp3", "keep.mp3"}},
        {"stray bytes between two records",
         keep + Bytes(13, 'x') + after,
         {"after.mp3", "keep.mp3"}},
        {"a record claiming to run past the end",
         keep + hugeBlock + after,
         {"after.mp3", "huge.mp3", "keep.mp3"}},
        {"two versions of one track around the damage",
         keep + Bytes(5, 0) + recordBlock("keep.mp3", "newer"),
         {"keep.mp3"}},
        {"nothing readable", Bytes(100, 0xEE), {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        for (const auto& entry : std::filesystem::directory_iterator(dir.path()))
            std::filesystem::remove(entry.path());
        writeFile(dbPath(), c.file);
        clearFatalError();
        ASSERT_TRUE(db.open(folder()));
        EXPECT_EQ(fatalError(), nullptr);
        EXPECT_EQ(namesOf(db.records()), c.kept);
        EXPECT_TRUE(db.writable());

        // Told once where the damaged file went; it is there as it was.
        std::vector<std::filesystem::path> aside;
        for (const auto& entry : std::filesystem::directory_iterator(dir.path()))
            if (entry.path().filename().string().starts_with(std::string(TrackDatabase::kFileName) +
                                                             "damaged-"))
                aside.push_back(entry.path());
        ASSERT_EQ(aside.size(), 1u);
        EXPECT_EQ(test::readFile(aside[0].string()), c.file);
        EXPECT_EQ(db.notice().find("The internal database is corrupted."), 0u) << db.notice();
        EXPECT_NE(db.notice().find(aside[0].string()), std::string::npos) << db.notice();

        // What was kept is the database from now on, stored values included.
        if (std::ranges::count(c.kept, "after.mp3")) {
            EXPECT_EQ(db.acquireAnalysis(db.findOrAdd("after.mp3", 2000))->loudnessPeak, 19);
        }
        if (std::string(c.what).starts_with("two versions")) {
            EXPECT_EQ(db.findOrAdd("keep.mp3", 1000)->comment, "newer");
        }
        store(db, "later.mp3", "");
        db.close();
        ASSERT_TRUE(db.open(folder()));
        EXPECT_EQ(db.notice(), "");
        EXPECT_EQ(namesOf(db.records()).size(), c.kept.size() + 1);
        db.close();
    }
}

TEST_F(TrackDatabaseTest, ADamagedFileHeldByAnotherProgramIsReadButLeftToIt) {
    const Bytes file = recordBlock("keep.mp3", "") + Bytes(13, 'x') + recordBlock("after.mp3", "");
    writeFile(dbPath(), file);
    const int fd = ::open(dbPath().c_str(), O_RDONLY | O_CLOEXEC);
    ASSERT_EQ(::flock(fd, LOCK_EX), 0);
    ASSERT_TRUE(db.open(folder()));
    EXPECT_EQ(namesOf(db.records()), (Names{"after.mp3", "keep.mp3"}));
    EXPECT_FALSE(db.hasFile());
    EXPECT_EQ(db.notice(), "");
    EXPECT_EQ(bytes(), file);
    ::close(fd);
}

TEST_F(TrackDatabaseTest, AFileThatCannotBeReadToItsEndIsLetGoAndSaidSo) {
    // The smallest legal record block and a free block cut short by the end are fine.
    writeFile(dbPath(),
              recordBlock("y.mp3", "", 1, 19 + 12) + freeBlock(16) + Bytes{0, 1, 0, 0, 0, 0, 0, 0});
    EXPECT_TRUE(db.open(folder()));
    EXPECT_EQ(db.notice(), "");
    EXPECT_EQ(namesOf(db.records()), Names{"y.mp3"});
    EXPECT_EQ(bytes().size(), 31u + 16u);

    std::filesystem::remove(dbPath());
    std::filesystem::create_directory(dbPath());  // opens for reading, every read fails
    EXPECT_TRUE(db.open(folder()));
    EXPECT_EQ(fatalError(), nullptr);
    EXPECT_FALSE(db.hasFile());
    EXPECT_EQ(db.notice().find("Error in the file system driver while reading\n" + dbPath()), 0u)
        << db.notice();
}

// A second desk gets the database read-only: it still has every stored value, and the
// rule that a tempo set by hand outlives a measured one.
TEST_F(TrackDatabaseTest, ASecondOpenerReadsTheStoredValuesKeepsAHandSetTempoAndNeverWrites) {
    ASSERT_TRUE(db.open(folder()));
    TrackRecord* shared = db.findOrAdd("shared.mp3", 9);
    shared->bpm = 126.0f;
    TrackAnalysis* held = db.acquireAnalysis(shared);
    held->cuePoint = 0.5f;
    held->bpmConfidence = TrackAnalysis::kHandSetConfidence;
    db.releaseAnalysis(shared);
    db.flush();
    const Bytes before = bytes();

    TrackDatabase reader;
    ASSERT_TRUE(reader.open(folder()));
    EXPECT_TRUE(reader.readOnly());
    ASSERT_EQ(namesOf(reader.records()), Names{"shared.mp3"});
    TrackRecord* mine = reader.findOrAdd("shared.mp3", 9);
    EXPECT_EQ(mine->currentBpm(), 126.0f);
    TrackAnalysis* values = reader.acquireAnalysis(mine);
    EXPECT_EQ(values->cuePoint, 0.5f);
    EXPECT_EQ(values->bpmConfidence, TrackAnalysis::kHandSetConfidence);
    values->cuePoint = 0.75f;
    reader.releaseAnalysis(mine);

    TrackMeasures measured;
    measured.bpm = 140.0f;
    measured.bpmConfidence = 500;
    measured.lastStrongBeat = 0.875f;
    ASSERT_TRUE(reader.storeMeasures(mine, measured));
    EXPECT_EQ(mine->currentBpm(), 126.0f);
    values = reader.acquireAnalysis(mine);
    EXPECT_EQ(values->lastStrongBeat, 0.875f);
    EXPECT_EQ(values->cuePoint, 0.75f);  // kept in this run
    mine->commentOverride = "changed";
    reader.releaseAnalysis(mine);
    reader.acquireAnalysis(reader.findOrAdd("other.mp3", 3));
    reader.close();
    EXPECT_EQ(bytes(), before);
}

TEST_F(TrackDatabaseTest, AFolderWhereNothingCanBeStoredIsSaid) {
    const std::string absent = (dir.path() / "absent").string();
    EXPECT_TRUE(db.open(absent));
    EXPECT_EQ(fatalError(), nullptr);
    EXPECT_FALSE(db.hasFile());
    EXPECT_FALSE(db.writable());
    EXPECT_EQ(db.notice(), "The internal database cannot be written in " + absent +
                               " (No such file or directory).\nTempos, comments and cue points "
                               "found now will not be kept.");
    TrackRecord* record = db.findOrAdd("x.mp3", 1);
    db.acquireAnalysis(record);
    db.releaseAnalysis(record);
    EXPECT_FALSE(std::filesystem::exists(absent));
}

// ---- A database writer killed at random moments ----

constexpr int kKillTracks = 4;
// Shared counters: per track, the version last stored, and the version being stored.
int committedSlot(int k) { return 2 * k; }
int writingSlot(int k) { return 2 * k + 1; }

std::string killTrackName(int k) { return "track" + std::to_string(k) + ".mp3"; }

// A track's version as its record tells it (comment "v<n> ..."); 0 for no record.
int versionOf(const TrackRecord* record) {
    if (record == nullptr) return 0;
    const std::string& c = *trackComment(record);
    return c.starts_with("v") ? std::atoi(c.c_str() + 1) : -1;
}

TrackRecord* findTrack(TrackDatabase& db, int k) {
    for (TrackRecord& record : const_cast<std::forward_list<TrackRecord>&>(db.records()))
        if (record.name == killTrackName(k) && record.fileSize == 1000u + k) return &record;
    return nullptr;
}

// The child: stores new versions of a few tracks, with comments of changing length so that
// records grow, shrink and move, waits for its writer now and then, and now and then opens
// the file anew, until killed. A version is "stored" once a wait after it returned.
TEST(DatabaseWriterChild, DISABLED_WritesUntilKilled) {
    const char* folder = std::getenv("SPINLOREX_KILL_DIR");
    ASSERT_NE(folder, nullptr);
    test::SharedCounters progress(std::string(folder) + "/progress", false);
    ASSERT_TRUE(progress.ok());
    std::mt19937 random(std::random_device{}());
    TrackDatabase db;
    for (int round = 0;; ++round) {
        ASSERT_TRUE(db.open(folder));
        ASSERT_TRUE(db.writable());
        for (int write = 0; write < 40; ++write) {
            const int k = std::uniform_int_distribution<int>(0, kKillTracks - 1)(random);
            const int version = static_cast<int>(progress[writingSlot(k)].load()) + 1;
            progress[writingSlot(k)].store(version);
            TrackRecord* record = db.findOrAdd(killTrackName(k), 1000u + k);
            record->commentOverride =
                "v" + std::to_string(version) + " " +
                std::string(std::uniform_int_distribution<size_t>(0, 120)(random), 'x');
            record->bpm = static_cast<float>(version);
            TrackAnalysis* values = db.acquireAnalysis(record);
            for (int i = 0; i < TrackAnalysis::kStoredValues; ++i)
                values->setStoredWord(i, static_cast<uint32_t>(version));
            db.releaseAnalysis(record);
            if (std::uniform_int_distribution<int>(0, 3)(random) == 0) {
                db.flush();
                for (int t = 0; t < kKillTracks; ++t)
                    progress[committedSlot(t)].store(progress[writingSlot(t)].load());
            }
        }
        db.close();
        for (int t = 0; t < kKillTracks; ++t)
            progress[committedSlot(t)].store(progress[writingSlot(t)].load());
    }
}

TEST_F(TrackDatabaseTest, AWriterKilledAtAnyMomentLeavesEveryRecordAsItWasOrAsItBecame) {
    std::mt19937 random(std::random_device{}());
    test::SharedCounters progress(dir.file("progress"), true);
    ASSERT_TRUE(progress.ok());
    const int rounds = test::killRounds(10);
    int midWrite = 0, becameNew = 0;
    for (int round = 0; round < rounds; ++round) {
        SCOPED_TRACE(testing::Message() << "round " << round);
        const pid_t child =
            test::startChildTest("DatabaseWriterChild.DISABLED_WritesUntilKilled",
                                 {{"SPINLOREX_KILL_DIR", folder()}}, dir.file("child.log"));
        ASSERT_GT(child, 0);
        // Into the writes (one under way), then a random moment.
        const auto storing = [&] {
            int64_t ahead = 0;
            for (int k = 0; k < kKillTracks; ++k)
                ahead += progress[writingSlot(k)].load() - progress[committedSlot(k)].load();
            return ahead > 0;
        };
        ASSERT_TRUE(test::waitFor(storing, 20));
        std::this_thread::sleep_for(
            std::chrono::microseconds(std::uniform_int_distribution<int>(0, 200000)(random)));
        test::killChild(child);

        ASSERT_TRUE(db.open(folder()));
        EXPECT_EQ(db.notice(), "");
        ASSERT_TRUE(db.writable());
        for (int k = 0; k < kKillTracks; ++k) {
            const int committed = static_cast<int>(progress[committedSlot(k)].load());
            const int writing = static_cast<int>(progress[writingSlot(k)].load());
            TrackRecord* record = findTrack(db, k);
            const int version = versionOf(record);
            // Any version handed to the writer since the last one known stored.
            EXPECT_TRUE(version >= committed && version <= writing)
                << killTrackName(k) << ": " << version << ", stored " << committed << ", storing "
                << writing;
            if (writing != committed) {
                ++midWrite;
                becameNew += version == writing;
            }
            // The next writer goes on from the version the file holds (none: 0).
            progress[committedSlot(k)].store(version);
            progress[writingSlot(k)].store(version);
            if (record == nullptr) continue;
            EXPECT_EQ(record->currentBpm(), static_cast<float>(version));
            const TrackAnalysis* values = db.acquireAnalysis(record);
            for (int i = 0; i < TrackAnalysis::kStoredValues; ++i)
                EXPECT_EQ(values->storedWord(i), static_cast<uint32_t>(version)) << i;
            db.releaseAnalysis(record);
        }
        db.close();
        if (HasFailure()) break;
    }
    std::cout << "[ killed   ] " << rounds << " writers; " << midWrite
              << " killed while storing a record (" << becameNew
              << " found as they became, the others as they were); every reopen whole\n";
}

}  // namespace
}  // namespace spinlorex
