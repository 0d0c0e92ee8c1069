#include "library/TrackDatabase.h"

#include <gtest/gtest.h>

#include <ctime>
#include <filesystem>

#include "library/DatabaseBytes.h"
#include "platform/core/FatalError.h"
#include "support/TempDir.h"

namespace spinlorex {
namespace {

using test::Bytes;
using test::operator+;

class TrackDatabaseTest : public ::testing::Test {
protected:
    void SetUp() override { clearFatalError(); }
    void TearDown() override { clearFatalError(); }
    std::string folder() const { return dir.path().string(); }
    std::string dbPath() const { return dir.file(TrackDatabase::kFileName); }

    test::TempDir dir;
};

std::vector<std::string> namesOf(const TrackDatabase& db) {
    std::vector<std::string> names;
    for (const TrackRecord& record : db.records()) names.push_back(record.name);
    return names;
}

TEST_F(TrackDatabaseTest, RecordsAreKeyedByExactFileNameAndSize) {
    TrackDatabase db;
    ASSERT_TRUE(db.open(folder()));
    TrackRecord* a = db.findOrAdd("/music/house/a.mp3", 100);
    EXPECT_EQ(a->name, "a.mp3");
    EXPECT_EQ(db.findOrAdd("/media/usb/a.mp3", 100), a);  // a moved file keeps its record
    EXPECT_NE(db.findOrAdd("a.mp3", 200), a);
    EXPECT_NE(db.findOrAdd("/music/A.mp3", 100), a);
    db.findOrAdd("no folder.wav", 5);
    db.findOrAdd("C:\\music\\b.mp3", 7);  // a backslash is an ordinary character here
    EXPECT_EQ(namesOf(db), (std::vector<std::string>{"C:\\music\\b.mp3", "no folder.wav", "A.mp3", "a.mp3", "a.mp3"}));
    EXPECT_EQ(std::filesystem::file_size(dbPath()), 0u);  // finding records writes nothing
}

TEST_F(TrackDatabaseTest, AnalysisBlockIsSharedAndWrittenByTheLastRelease) {
    TrackDatabase db;
    ASSERT_TRUE(db.open(folder()));
    TrackRecord* record = db.findOrAdd("t.mp3", 1);
    TrackAnalysis* block = db.acquireAnalysis(record);
    EXPECT_EQ(block->owner, record);
    for (int i = 0; i < TrackAnalysis::kStoredValues; ++i) EXPECT_EQ(block->storedWord(i), i == 7 ? 1u : 0u) << i;
    EXPECT_EQ(record->lastUsedDate, db.today());

    EXPECT_EQ(db.acquireAnalysis(record), block);
    db.releaseAnalysis(record);
    EXPECT_EQ(record->analysis.get(), block);
    EXPECT_EQ(std::filesystem::file_size(dbPath()), 0u);
    db.releaseAnalysis(record);
    EXPECT_EQ(record->analysis, nullptr);
    EXPECT_EQ(record->refCount, 0);
    EXPECT_EQ(std::filesystem::file_size(dbPath()), 64u);
    db.releaseAnalysis(record);  // nothing held: nothing happens
    EXPECT_EQ(std::filesystem::file_size(dbPath()), 64u);
}

TEST_F(TrackDatabaseTest, TodayIsTheLocalDatePacked) {
    EXPECT_EQ(TrackDatabase::packDate(2024, 3, 15), 2072783u);
    auto packNow = [] {
        std::time_t now = std::time(nullptr);
        std::tm local{};
        localtime_r(&now, &local);
        return TrackDatabase::packDate(local.tm_year + 1900, local.tm_mon + 1, local.tm_mday);
    };
    const uint32_t before = packNow();
    TrackDatabase db;
    const uint32_t after = packNow();
    EXPECT_TRUE(db.today() == before || db.today() == after);
}

TEST_F(TrackDatabaseTest, RecordsAndStoredValuesSurviveCloseAndOpen) {
    {
        TrackDatabase db;
        ASSERT_TRUE(db.open(folder()));
        TrackRecord* first = db.findOrAdd("/a/first.mp3", 111);
        TrackAnalysis* values = db.acquireAnalysis(first);
        for (int i = 0; i < TrackAnalysis::kStoredValues; ++i) values->setStoredWord(i, 0x01010101u * (i + 1));
        values->bpmConfidence = TrackAnalysis::kHandSetConfidence;
        first->bpm = 128.5f;
        first->commentOverride = "warm-up";
        db.releaseAnalysis(first);

        db.acquireAnalysis(db.findOrAdd("second.wav", 222))->cuePoint = 0.5f;
        // still held: the destructor's close writes it
    }
    TrackDatabase db;
    ASSERT_TRUE(db.open(folder()));
    ASSERT_EQ(namesOf(db), (std::vector<std::string>{"second.wav", "first.mp3"}));
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
    test::writeFile(dbPath(), test::recordBlock("three.mp3", "", 1, 23 + 8 + 12, {11, 12, 13, 14}) +
                                  test::recordBlock("one.mp3", "", 2, 21 + 8 + 6, {21, 22}));
    TrackDatabase db;
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
    const Bytes keep = test::recordBlock("keep.mp3", "");
    auto block = [](uint32_t blockSize, uint32_t dataLength, size_t bytesInFile) {
        Bytes bytes;
        test::put32(bytes, blockSize);
        test::put32(bytes, dataLength);
        bytes.resize(bytesInFile, 'x');
        return bytes;
    };
    const Bytes damaged[] = {
        block(40, 13, 40),                     // dataLength below 14
        block(64, 0xFFFFFFF0u, 64),            // negative dataLength
        block(0x7FFFFFFCu, 0x7FFFFFF0u, 64),   // data far beyond the end: no giant buffer
        block(200, 150, 100),                  // data cut short
        test::recordBlock("x.mp3", "", 1, 19 + 11),  // blockSize below dataLength + 12
        test::freeBlock(4), Bytes{1, 2, 3, 4, 5},    // free block below a header; header cut short
    };
    for (const Bytes& tail : damaged) {
        test::writeFile(dbPath(), keep + tail);
        clearFatalError();
        TrackDatabase db;
        EXPECT_FALSE(db.open(folder()));
        EXPECT_STREQ(fatalError(), "The internal database is corrupted");
        EXPECT_EQ(namesOf(db), std::vector<std::string>{"keep.mp3"});
        EXPECT_FALSE(db.hasFile());
    }

    // The smallest legal record block and a free block that runs past the end are fine.
    test::writeFile(dbPath(), test::recordBlock("y.mp3", "", 1, 19 + 12) + test::freeBlock(16) + Bytes{0, 1, 0, 0, 0, 0, 0, 0});
    clearFatalError();
    TrackDatabase fine;
    EXPECT_TRUE(fine.open(folder()));
    EXPECT_EQ(fatalError(), nullptr);
    EXPECT_EQ(namesOf(fine), std::vector<std::string>{"y.mp3"});

    std::filesystem::remove(dbPath());
    std::filesystem::create_directory(dbPath());  // opens for reading, every read fails
    TrackDatabase unreadable;
    EXPECT_FALSE(unreadable.open(folder()));
    EXPECT_STREQ(fatalError(), "Error in the file system driver");
}

TEST_F(TrackDatabaseTest, SecondOpenerOnlyReadsAndNeverWrites) {
    TrackDatabase owner;
    ASSERT_TRUE(owner.open(folder()));
    TrackRecord* shared = owner.findOrAdd("shared.mp3", 9);
    owner.acquireAnalysis(shared)->cuePoint = 0.5f;
    owner.releaseAnalysis(shared);
    const Bytes before = test::readFile(dbPath());

    TrackDatabase reader;
    ASSERT_TRUE(reader.open(folder()));
    EXPECT_TRUE(reader.readOnly());
    ASSERT_EQ(namesOf(reader), std::vector<std::string>{"shared.mp3"});
    TrackRecord* mine = reader.findOrAdd("shared.mp3", 9);
    TrackAnalysis* values = reader.acquireAnalysis(mine);
    EXPECT_EQ(values->cuePoint, 0.0f);  // defaults: stored values are not read without write access
    values->cuePoint = 0.9f;
    mine->commentOverride = "changed";
    reader.releaseAnalysis(mine);
    reader.acquireAnalysis(reader.findOrAdd("other.mp3", 3));
    reader.close();
    EXPECT_EQ(test::readFile(dbPath()), before);
}

TEST_F(TrackDatabaseTest, MissingFolderMeansNoFileSilently) {
    const std::string absent = (dir.path() / "absent").string();
    TrackDatabase db;
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
