// The search over a search file of 200,000 lines: a search of two words, the empty search
// that lists every line, a header click, the load, and the memory the index takes beside
// the file's size.

#include <benchmark/benchmark.h>

#include <malloc.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>

#include "library/SearchIndex.h"

namespace {

using spinlorex::SearchIndex;

constexpr int kLines = 200000;

// A search file like a collection scanned from two drives and many discs, written once
// per process into its own temporary folder.
class BenchSearchFile {
public:
    BenchSearchFile() {
        std::string pattern = (std::filesystem::temp_directory_path() / "spinlorex-bench-XXXXXX").string();
        if (mkdtemp(pattern.data()) == nullptr) return;
        dir_ = pattern;
        static const char* const kWords[] = {"Love", "Night", "Daft", "Punk", "Around", "World", "Blue", "Monday",
                                             "House", "Deep", "Soul", "Fire", "Dance", "Girl", "Summer", "Beat",
                                             "Tonight", "Rhythm", "Dream", "Electric", "Disco", "Heart", "Sound",
                                             "Music", "Funk", "Groove", "Star", "Light", "Moon", "City"};
        std::mt19937 random(7);
        const auto word = [&] { return std::string(kWords[random() % std::size(kWords)]); };
        std::ofstream out(dir_ / SearchIndex::kFileName, std::ios::binary);
        for (int i = 0; i < kLines; ++i) {
            const std::string artist = word() + " " + word();
            const std::string title = word() + " " + word() + " " + word();
            const unsigned size = 2000000 + random() % 9000000;
            if (i % 3 == 2)
                out << "CD" << (i / 300 + 1) << "=/" << word() << "/" << artist << " - " << title << ".mp3," << size;
            else
                out << (i % 3 == 0 ? "/:/home/dj/Music/" : "/media/dj/CRATE:/Collection/") << artist << "/" << word()
                    << " " << word() << "/" << (i % 20 + 1) << " " << artist << " - " << title << ".mp3," << size;
            out << "\r\n";
        }
        out.close();
        fileSize_ = std::filesystem::file_size(dir_ / SearchIndex::kFileName);
    }
    ~BenchSearchFile() {
        std::error_code ignored;
        if (!dir_.empty()) std::filesystem::remove_all(dir_, ignored);
    }
    std::string home() const { return dir_.string(); }
    double fileSize() const { return static_cast<double>(fileSize_); }

private:
    std::filesystem::path dir_;
    uintmax_t fileSize_ = 0;
};

const BenchSearchFile& searchFile() {
    static const BenchSearchFile file;
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
