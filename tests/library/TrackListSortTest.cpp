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

}  // namespace
}  // namespace spinlorex
