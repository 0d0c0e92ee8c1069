// The search over a search file of 200,000 lines: a search of two words, the empty search
// that lists every line, a header click, the load, and the memory the index takes beside
// the file's size.

#include <benchmark/benchmark.h>

#include <malloc.h>

#include "SearchData.h"
#include "library/SearchIndex.h"

namespace {

using spinlorex::SearchIndex;

const spinlorex::bench::SearchData& searchFile() {
    static const spinlorex::bench::SearchData file;
    return file;
}

size_t heapInUse() {
    const struct mallinfo2 info = mallinfo2();
    return info.uordblks + info.hblkhd;
}

void BM_SearchLoad(benchmark::State& state) {
    SearchIndex index(searchFile().home());
    for (auto _ : state) {
        if (index.load() != SearchIndex::LoadResult::Loaded) state.SkipWithError("no search file");
    }
    state.counters["lines"] = static_cast<double>(index.lineCount());
}
BENCHMARK(BM_SearchLoad)->Unit(benchmark::kMillisecond);

// The search of a typed text; the result list is a model over the results, so listing
// them is this and nothing per row.
void search(benchmark::State& state, const char* text) {
    SearchIndex index(searchFile().home());
    if (index.load() != SearchIndex::LoadResult::Loaded) state.SkipWithError("no search file");
    for (auto _ : state) {
        index.runSearch(text);
        benchmark::DoNotOptimize(index.resultCount());
    }
    state.counters["results"] = static_cast<double>(index.resultCount());
}
void BM_SearchTwoWords(benchmark::State& state) { search(state, "daft punk"); }
BENCHMARK(BM_SearchTwoWords)->Unit(benchmark::kMillisecond);
void BM_SearchPhrase(benchmark::State& state) { search(state, "\"daft punk - love\""); }
BENCHMARK(BM_SearchPhrase)->Unit(benchmark::kMillisecond);
void BM_SearchEmpty(benchmark::State& state) { search(state, ""); }
BENCHMARK(BM_SearchEmpty)->Unit(benchmark::kMillisecond);

void BM_SearchSortTitle(benchmark::State& state) {
    SearchIndex index(searchFile().home());
    index.load();
    index.runSearch("");
    for (auto _ : state) index.sortResults(SearchIndex::kTitle);
}
BENCHMARK(BM_SearchSortTitle)->Unit(benchmark::kMillisecond);

// The heap the index holds with every line listed (its text, its lines and its results),
// as a multiple of the file's size.
void BM_SearchMemory(benchmark::State& state) {
    double ratio = 0;
    for (auto _ : state) {
        const size_t before = heapInUse();
        {
            SearchIndex index(searchFile().home());
            index.load();
            index.runSearch("");
            ratio = static_cast<double>(heapInUse() - before) / searchFile().fileSize();
            index.runSearch("daft punk");
        }
    }
    state.counters["fileMB"] = searchFile().fileSize() / 1e6;
    state.counters["memoryPerFileByte"] = ratio;
}
BENCHMARK(BM_SearchMemory)->Unit(benchmark::kMillisecond)->Iterations(3);

}  // namespace
