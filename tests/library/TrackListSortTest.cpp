// The files list's Bpm sort while the sound thread stores tempi into the records it sorts
// (as a deck analysing a listed track does). Run it under ThreadSanitizer too.

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <memory>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "library/TrackList.h"
#include "library/TrackTags.h"

namespace spinlorex {
namespace {

TEST(BpmSort, TempiChangingMidSortLeaveEveryRowOnceAndTheSteadyRowsInOrder) {
    constexpr int kRows = 3000;
    std::vector<std::unique_ptr<TrackRecord>> records;
    std::vector<LibraryRow> rows;
    for (int i = 0; i < kRows; ++i) {
        auto& record = records.emplace_back(std::make_unique<TrackRecord>());
        record->bpm = 60.0f + static_cast<float>(i * 7919 % 1200) / 10.0f;
        rows.push_back({TrackEntry{"", std::to_string(i), "", record.get()}, RowIcon::None});
    }
    rows.push_back({TrackEntry{"", "list.m3u", "/list.m3u", nullptr}, RowIcon::PlaylistFile});
    // Odd rows swing between the slowest and the fastest tempo all the time; even rows
    // never change.
    std::atomic<bool> stop{false};
    std::thread sound([&] {
        for (float bpm = 1.0f; !stop.load(std::memory_order_relaxed); bpm = 1000.0f - bpm)
            for (int i = 1; i < kRows; i += 2)
                records[i]->bpm.store(bpm, std::memory_order_relaxed);
    });

    for (int round = 0; round < 40; ++round) {
        const bool fastestFirst = round % 2 == 0;
        sortRows(rows, fastestFirst ? 2 : 2 + kSortDescending);
        ASSERT_EQ(rows.size(), size_t{kRows} + 1);
        EXPECT_EQ(rows.back().entry.record, nullptr) << "round " << round;
        std::set<const TrackRecord*> seen;
        float last = fastestFirst ? 1e9f : 0.0f;
        for (const LibraryRow& row : rows) {
            const TrackRecord* record = row.entry.record;
            if (record == nullptr) continue;
            seen.insert(record);
            if (std::stoi(row.entry.title) % 2 != 0) continue;
            const float bpm = record->currentBpm();
            ASSERT_TRUE(fastestFirst ? bpm <= last : bpm >= last)
                << "round " << round << ": " << bpm << " after " << last;
            last = bpm;
        }
        ASSERT_EQ(seen.size(), size_t{kRows});
    }
    stop = true;
    sound.join();
}

// The added columns: their texts from the tags (the key from the analysis first), and
// their sorts, rows without the value last either way; the key round the wheel.
TEST(AddedColumns, ShowTheTagsAndSortWithTheUnknownLast) {
    std::vector<std::unique_ptr<TrackRecord>> records;
    auto row = [&](const char* title, const char* album, int year, int seconds, const char* key) {
        auto& record = records.emplace_back(std::make_unique<TrackRecord>());
        auto tags = std::make_shared<TrackTags>();
        tags->album = album;
        tags->year = year;
        tags->seconds = seconds;
        tags->key = key;
        return LibraryRow{TrackEntry{"", title, "", record.get(), std::move(tags)}, RowIcon::None};
    };
    std::vector<LibraryRow> rows = {row("a", "Zeta", 1999, 61, "9A"), row("b", "", 0, 0, ""),
                                    row("c", "alpha", 1984, 600, "8B"),
                                    row("d", "Mid", 2005, 5, "8A")};
    auto grid = std::make_shared<BeatGrid>();
    grid->key = codeOfKey(*parseKey("1A"));  // found by the analysis: over the tag
    records[3]->grid = grid;
    EXPECT_EQ(rowText(rows[0].entry, kColumnLength), "1:01");
    EXPECT_EQ(rowText(rows[2].entry, kColumnYear), "1984");
    EXPECT_EQ(rowText(rows[1].entry, kColumnYear), "");
    EXPECT_EQ(rowText(rows[3].entry, kColumnKey), "1A");
    EXPECT_EQ(rowText(rows[2].entry, kColumnKey, KeyNotation::Musical), "C major");

    auto order = [&](int column, bool twice) {
        int key = nextSortKey(kSortByLastPlayed, column);
        if (twice) key = nextSortKey(key, column);
        sortRows(rows, key);
        std::string titles;
        for (const LibraryRow& r : rows) titles += r.entry.title;
        return titles;
    };
    EXPECT_EQ(order(kColumnAlbum, false), "cdab");
    EXPECT_EQ(order(kColumnAlbum, true), "adcb");
    EXPECT_EQ(order(kColumnYear, false), "cadb");
    EXPECT_EQ(order(kColumnYear, true), "dacb");
    EXPECT_EQ(order(kColumnLength, false), "dacb");
    EXPECT_EQ(order(kColumnKey, false), "dcab");  // 1A, 8B, 9A
    EXPECT_EQ(order(kColumnKey, true), "acdb");
    // The four columns keep their keys.
    EXPECT_EQ(nextSortKey(kSortByLastPlayed, kColumnComment), 3);
    EXPECT_EQ(nextSortKey(3, kColumnComment), 3 + kSortDescending);
}

}  // namespace
}  // namespace spinlorex
