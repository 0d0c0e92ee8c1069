#include "library/DatabaseFile.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <map>

#include "library/DatabaseBytes.h"
#include "library/TrackDatabase.h"
#include "support/TempDir.h"

namespace spinlorex {
namespace {

using test::Bytes;
using test::freeBlock;
using test::get32;
using test::operator+;
using test::recordBlock;

class DatabaseFileTest : public ::testing::Test {
protected:
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

    test::TempDir dir;
};

Bytes slice(const Bytes& bytes, size_t from, size_t length) {
    return Bytes(bytes.begin() + static_cast<long>(from), bytes.begin() + static_cast<long>(from + length));
}

bool allZero(const Bytes& bytes) {
    return std::all_of(bytes.begin(), bytes.end(), [](unsigned char b) { return b == 0; });
}

TEST_F(DatabaseFileTest, FirstRecordIsAppendedAtZeroInTheFileLayout) {
    TrackDatabase db;
    ASSERT_TRUE(db.open(folder()));
    TrackRecord* record = db.findOrAdd("/music/song1.mp3", 4242);
    record->bpm = 120.0f;
    TrackAnalysis* values = db.acquireAnalysis(record);
    values->firstStrongBeat = 0.125f;
    values->loudnessPeak = 77;
    db.releaseAnalysis(record);

    const Bytes file = bytes();
    ASSERT_EQ(file.size(), 72u);
    EXPECT_EQ(record->fileOffset, 0u);
    EXPECT_EQ(get32(file, 0), 72u);
    EXPECT_EQ(get32(file, 4), 23u);
    EXPECT_EQ(get32(file, 8), 4242u);
    EXPECT_EQ(get32(file, 12), std::bit_cast<uint32_t>(120.0f));
    EXPECT_EQ(get32(file, 16), db.today());
    EXPECT_EQ(std::string(file.begin() + 20, file.begin() + 31), std::string("song1.mp3\0\0", 11));
    const uint32_t stored[] = {0, std::bit_cast<uint32_t>(0.125f), 0, 0, 0, 0, 0, 1, 77};
    for (int i = 0; i < 9; ++i) EXPECT_EQ(get32(file, 31 + 4 * i), stored[i]) << i;
    EXPECT_TRUE(allZero(slice(file, 67, 5)));
}

TEST_F(DatabaseFileTest, RecordKeepsItsPlaceWhileItFitsItsBlock) {
    const Bytes next = recordBlock("next.mp3", "keep");
    // "odd.mp3" needs 72 bytes; its 76-byte block leaves 4, too few for a free block.
    test::writeFile(dbPath(), recordBlock("song1.mp3", "") + recordBlock("odd.mp3", "", 1000, 76) + next);
    TrackDatabase db;
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
    test::writeFile(dbPath(), recordBlock("a.mp3", "") + freeBlock(16) + recordBlock("b.mp3", "") + freeBlock(160) + c);
    const std::string grown(40, 'g');  // needs 104 bytes
    TrackDatabase db;
    ASSERT_TRUE(db.open(folder()));

    EXPECT_EQ(store(db, "a.mp3", grown)->fileOffset, 144u);
    Bytes file = bytes();
    EXPECT_EQ(get32(file, 0), 80u);  // a's block merged with the free block after it
    EXPECT_EQ(get32(file, 4), 0u);
    EXPECT_TRUE(allZero(slice(file, 8, 72)));
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
    test::writeFile(dbPath(), recordBlock("a.mp3", longComment) + freeBlock(16) + freeBlock(24) +
                                  recordBlock("b.mp3", longComment));
    TrackDatabase db;
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
    db.close();
    EXPECT_TRUE(db.open(folder()));
    EXPECT_EQ(std::distance(db.records().begin(), db.records().end()), 2);
}

TEST_F(DatabaseFileTest, EightByteFreeFileIsAnEmptyDatabase) {
    test::writeFile(dbPath(), freeBlock(8));
    TrackDatabase db;
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
    struct Scenario {
        const char* what;
        Bytes file;
        std::string target, comment;
    };
    const Scenario scenarios[] = {
        {"shrinks in place", recordBlock("a.mp3", longComment) + recordBlock("b.mp3", "b") + freeBlock(16), "a.mp3", ""},
        {"same size in place", recordBlock("a.mp3", "") + recordBlock("b.mp3", "b"), "a.mp3", "x"},
        {"moves to a free block",
         recordBlock("a.mp3", "") + recordBlock("b.mp3", "b") + freeBlock(160) + recordBlock("c.mp3", "c"), "a.mp3", grown},
        {"moves to the end", recordBlock("a.mp3", "") + recordBlock("b.mp3", "b"), "a.mp3", grown},
        {"new record", recordBlock("a.mp3", "") + freeBlock(8), "new.mp3", "n"},
    };

    auto expectConsistent = [&](const Scenario& s, const std::forward_list<TrackRecord>& before, const TrackRecord& target,
                                const std::string& targetComment) {
        auto reader = DatabaseFile::open(dbPath());
        std::forward_list<TrackRecord> now;
        ASSERT_EQ(reader->readRecords(now), DatabaseFile::ReadResult::Ok);
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
        if (target.fileOffset == TrackRecord::kNeverWritten) {
            EXPECT_FALSE(byName.count(s.target));
        } else {
            ASSERT_TRUE(byName.count(s.target));
            EXPECT_EQ(byName[s.target]->fileOffset, target.fileOffset);
            if (!targetComment.empty()) {
                EXPECT_EQ(byName[s.target]->comment, targetComment);
            }
        }
    };

    for (const Scenario& s : scenarios) {
        for (const bool torn : {false, true}) {
            for (int failAt = 0;; ++failAt) {
                SCOPED_TRACE(testing::Message() << s.what << (torn ? ", torn" : ", failed") << " write " << failAt);
                test::writeFile(dbPath(), s.file);
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
                if (!faultHit) {
                    EXPECT_TRUE(stored);
                }
                if (!stored) {
                    EXPECT_TRUE(target.fileOffset == oldOffset || target.fileOffset == TrackRecord::kNeverWritten);
                    EXPECT_LE(bytes().size(), s.file.size());
                }
                // The comment is only certain after a successful write: a failed one in place may garble it.
                expectConsistent(s, records, target, stored ? s.comment : "");

                file->setWriteGate(nullptr);
                EXPECT_TRUE(file->writeRecord(target));
                expectConsistent(s, records, target, s.comment);
                if (!faultHit) break;
            }
        }
    }
}

TEST_F(DatabaseFileTest, RecordWhoseMoveFailsForgetsItsFreedBlock) {
    const Bytes original = recordBlock("a.mp3", "") + recordBlock("b.mp3", "b");
    test::writeFile(dbPath(), original);
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

    auto reader = DatabaseFile::open(dbPath());
    std::forward_list<TrackRecord> now;
    ASSERT_EQ(reader->readRecords(now), DatabaseFile::ReadResult::Ok);
    std::vector<std::string> names;
    for (const TrackRecord& record : now) names.push_back(record.name);
    EXPECT_EQ(names, (std::vector<std::string>{"a.mp3", "b.mp3", "z.mp3"}));
}

}  // namespace
}  // namespace spinlorex
