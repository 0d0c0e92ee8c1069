// The music library with a DJ's whole collection: 100,000 records in the internal database
// and a folder of 10,000 tracks. Reading the database, filling the files list the first
// time (records created) and the next time (records found), the Bpm sort of it, a
// comment edit, and opening a track store of 100,000 beat grids.

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "LibraryData.h"
#include "library/FolderListing.h"
#include "library/MusicLibrary.h"
#include "library/TrackDatabase.h"
#include "library/TrackStore.h"

namespace {

using namespace spinlorex;

// Made once per process, removed at exit.
struct Collection {
    Collection() {
        std::string pattern =
            (std::filesystem::temp_directory_path() / "spinlorex-library-bench-XXXXXX").string();
        if (mkdtemp(pattern.data()) != nullptr) root = pattern;
        data = std::make_unique<bench::LibraryData>(root);
    }
    ~Collection() {
        std::error_code ignored;
        std::filesystem::remove_all(root, ignored);
    }
    std::filesystem::path root;
    std::unique_ptr<bench::LibraryData> data;
};

const Collection& collection() {
    static const Collection c;
    return c;
}

void BM_OpenDatabaseOf100kRecords(benchmark::State& state) {
    const Collection& c = collection();
    for (auto _ : state) {
        TrackDatabase db;
        if (!db.open(c.data->home().string())) state.SkipWithError("the database did not open");
        benchmark::DoNotOptimize(db.records().begin());
    }
}
BENCHMARK(BM_OpenDatabaseOf100kRecords)->Unit(benchmark::kMillisecond);

// Listing the folder from the disk (cached by the system after the first run).
void BM_ListFolderOf10kTracks(benchmark::State& state) {
    const Collection& c = collection();
    for (auto _ : state) benchmark::DoNotOptimize(listFolderFiles(c.data->crate().string()));
}
BENCHMARK(BM_ListFolderOf10kTracks)->Unit(benchmark::kMillisecond);

// Listing and filling the files list: the first fill creates 9,000 records among 100,000,
// the second finds them all.
void BM_FillFilesList(benchmark::State& state) {
    const Collection& c = collection();
    const bool second = state.range(0) != 0;
    for (auto _ : state) {
        state.PauseTiming();
        auto db = std::make_unique<TrackDatabase>();
        db->open(c.data->home().string());
        MusicLibrary library(*db);
        if (second) library.fillFiles(listFolderFiles(c.data->crate().string()));
        state.ResumeTiming();
        library.fillFiles(listFolderFiles(c.data->crate().string()));
        benchmark::DoNotOptimize(library.files().size());
        state.PauseTiming();
        library.files().clear();
        db.reset();
        state.ResumeTiming();
    }
}
BENCHMARK(BM_FillFilesList)->Arg(0)->Arg(1)->ArgName("second")->Unit(benchmark::kMillisecond);

void BM_BpmSortOf10kRows(benchmark::State& state) {
    const Collection& c = collection();
    TrackDatabase db;
    db.open(c.data->home().string());
    MusicLibrary library(db);
    library.fillFiles(listFolderFiles(c.data->crate().string()));
    // Tempi for the tracks the collection did not know yet.
    int i = 0;
    for (const LibraryRow& row : library.files().rows())
        if (row.entry.record != nullptr && row.entry.record->currentBpm() == 0.0f)
            row.entry.record->bpm = 80.0f + static_cast<float>(i++ % 900) / 10.0f;
    for (auto _ : state) {
        library.sortFiles(2);  // alternates fastest first and slowest first
        benchmark::DoNotOptimize(library.files().row(0));
    }
}
BENCHMARK(BM_BpmSortOf10kRows)->Unit(benchmark::kMillisecond);

// A comment typed into the files list with 100,000 records in the database: what each edit
// costs the thread that makes it (Arg 0), and until it is durable in the file (Arg 1: the
// writer's two syncs included). Every edit goes to another record, as when a DJ tags a
// crate, on a copy of the collection's database so that the other benchmarks read the
// original.
void BM_CommentEditOf100kRecords(benchmark::State& state) {
    const Collection& c = collection();
    const bool untilWritten = state.range(0) != 0;
    const std::filesystem::path home = c.root / "edits";
    std::filesystem::create_directories(home);
    std::filesystem::copy_file(c.data->home() / TrackDatabase::kFileName,
                               home / TrackDatabase::kFileName,
                               std::filesystem::copy_options::overwrite_existing);
    TrackDatabase db;
    if (!db.open(home.string()) || !db.writable()) state.SkipWithError("no writable database");
    std::vector<TrackRecord*> records;
    for (const TrackRecord& record : db.records())
        records.push_back(const_cast<TrackRecord*>(&record));
    MusicLibrary library(db);
    size_t next = 0;
    int edit = 0;
    for (auto _ : state) {
        library.setComment(records[next], "edit " + std::to_string(edit++));
        if (untilWritten) db.flush();
        next = (next + 7919) % records.size();
    }
    db.flush();  // (after the timed loop)
}
BENCHMARK(BM_CommentEditOf100kRecords)
    ->Arg(0)
    ->Arg(1)
    ->ArgName("untilWritten")
    ->Iterations(200)  // the writer keeps up with no more than a few hundred edits a second
    ->Unit(benchmark::kMicrosecond);

// A track store of 100,000 beat grids (one to four sections each, as a collection's steady
// and changing tracks have), one for each record of the collection's database: how long
// from the open until the store's thread has read every grid and the records have them,
// what the main thread spends of it ("main_ms") taking them over and giving the 100,000
// records theirs, and its longest turn ("longestTurn_ms") between the desk's other work.
void BM_OpenTrackStoreOf100kGrids(benchmark::State& state) {
    const Collection& c = collection();
    TrackDatabase db;
    db.open(c.data->home().string());
    std::vector<TrackRecord*> records;
    for (const TrackRecord& record : db.records())
        records.push_back(const_cast<TrackRecord*>(&record));
    const std::filesystem::path home = c.root / "store";
    if (!std::filesystem::exists(home)) {
        std::filesystem::create_directories(home);
        TrackStore store;
        store.open(home.string());
        for (size_t i = 0; i < records.size(); ++i) {
            auto grid = std::make_shared<BeatGrid>();
            grid->fit = 0.9f;
            for (size_t s = 0; s <= i % 4; ++s)
                grid->sections.push_back({s * 60.0, s * 60.0 + 0.1, 60.0 / (120 + s)});
            store.putGrid("/music/" + records[i]->name, records[i]->fileSize, std::move(grid));
        }
        store.flush();
        if (store.rowsWritten() != records.size())
            state.SkipWithError("the grids were not written");
    }
    double mainThread = 0.0;
    double longestTurn = 0.0;
    const auto fill = [](const TrackStore& store) {
        return [&store](TrackRecord& record) { store.fill(record); };
    };
    for (auto _ : state) {
        TrackStore store;
        store.open(home.string());
        store.flush();
        // The desk's share: the grids taken over, then the records filled 8,192 at a time
        // in turns of its event loop.
        using Clock = std::chrono::steady_clock;
        auto turnStart = Clock::now();
        store.takeLoaded();
        db.setRecordFiller(fill(store));
        TrackDatabase::RecordWalk walk = db.walkRecords();
        for (bool more = true; more; turnStart = Clock::now()) {
            more = walk.step(8192, fill(store));
            const double turn =
                std::chrono::duration<double, std::milli>(Clock::now() - turnStart).count();
            mainThread += turn;
            longestTurn = std::max(longestTurn, turn);
        }
        state.PauseTiming();
        if (records.back()->grid == nullptr) state.SkipWithError("the grids were not read");
        db.setRecordFiller(nullptr);
        for (TrackRecord* record : records) record->grid.reset();
        store.close();
        state.ResumeTiming();
    }
    state.counters["main_ms"] = benchmark::Counter(mainThread, benchmark::Counter::kAvgIterations);
    state.counters["longestTurn_ms"] = longestTurn;
}
BENCHMARK(BM_OpenTrackStoreOf100kGrids)->Unit(benchmark::kMillisecond);

}  // namespace
