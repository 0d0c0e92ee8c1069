// The tags of a folder of 10,000 tagged MP3 files through the tag cache: read by TagLib
// into an empty store, and answered again by a store that holds them (the files' size and
// time checked, the disk's cache warm). And the precise search over 200,000 lines whose
// files all have tags.

#include <benchmark/benchmark.h>
#include <stdlib.h>
#include <taglib/id3v2tag.h>
#include <taglib/mpegfile.h>
#include <taglib/textidentificationframe.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <unordered_map>
#include <vector>

#include "SearchData.h"
#include "library/SearchLine.h"
#include "library/TagCache.h"
#include "tools/synth/Synth.h"

namespace spinlorex {
namespace {

namespace fs = std::filesystem;

struct TaggedFolder {
    static constexpr int kFiles = 10'000;
    fs::path dir;
    std::vector<std::string> paths;

    TaggedFolder() {
        std::string pattern = (fs::temp_directory_path() / "spinlorex-tags-XXXXXX").string();
        if (mkdtemp(pattern.data()) == nullptr) return;
        dir = pattern;
        const std::string first = (dir / "model.mp3").string();
        if (!synth::writeMp3(first, synth::render({.seconds = 0.5}), 44100, 2, 128)) return;
        for (int i = 0; i < kFiles; ++i) {
            const std::string path = (dir / ("track " + std::to_string(i) + ".mp3")).string();
            fs::copy_file(first, path);
            TagLib::MPEG::File file(path.c_str());
            file.ID3v2Tag(true)->setArtist("Artist " + std::to_string(i % 97));
            file.ID3v2Tag()->setTitle("Title " + std::to_string(i));
            file.ID3v2Tag()->setAlbum("Album");
            file.save();
            paths.push_back(path);
        }
        fs::create_directories(dir / "warm");
        read((dir / "warm").string());
    }
    ~TaggedFolder() {
        std::error_code ignored;
        if (!dir.empty()) fs::remove_all(dir, ignored);
    }
    uint64_t read(const std::string& home) const {
        TrackStore store;
        store.open(home);
        TagCache cache;
        cache.open(home, store.tagWriter());
        cache.request(paths);
        cache.flush();
        store.flush();
        return cache.filesRead();
    }
};

// Argument: 0 an empty store (every file read through TagLib), 1 a store that has them.
void BM_TagsOfAFolder(benchmark::State& state) {
    static const TaggedFolder folder;
    const bool warm = state.range(0) != 0;
    int round = 0;
    for (auto _ : state) {
        const std::string home =
            (folder.dir / (warm ? "warm" : "cold" + std::to_string(round++))).string();
        fs::create_directories(home);
        const uint64_t read = folder.read(home);
        if (read != (warm ? 0u : static_cast<uint64_t>(TaggedFolder::kFiles)))
            state.SkipWithError("unexpected reads");
    }
    state.SetLabel(warm ? "10,000 files, from the store" : "10,000 files, read by TagLib");
}
BENCHMARK(BM_TagsOfAFolder)
    ->Arg(0)
    ->Arg(1)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(3);

// The precise search over 200,000 lines, every line's file with tags.
void BM_PreciseSearch(benchmark::State& state) {
    static const bench::SearchData data;
    SearchIndex index(data.home());
    index.load();
    std::unordered_map<std::string, TrackTags> tags;
    for (size_t i = 0; i < index.lineCount(); ++i) {
        const SearchLine line = parseSearchLine(index.line(i));
        TrackTags& t = tags[trackPathOf(line, "/cdrom")];
        t.artist = i % 50 == 0 ? "Daft Punk" : "Someone " + std::to_string(i % 1000);
        t.title = std::string(line.fileName);
        t.genre = "House";
        t.bpm = static_cast<float>(100 + i % 40);
        t.key = "8A";
    }
    index.setFactsLookup([&tags](std::string_view text) {
        SearchFacts facts;
        const auto at = tags.find(trackPathOf(parseSearchLine(text), "/cdrom"));
        if (at != tags.end()) {
            facts.tags = &at->second;
            facts.bpm = at->second.bpm;
        }
        return facts;
    });
    for (auto _ : state) {
        index.runSearch("artist:\"daft punk\" bpm:120-130 -live");
        benchmark::DoNotOptimize(index.resultCount());
    }
    state.counters["results"] = static_cast<double>(index.resultCount());
}
BENCHMARK(BM_PreciseSearch)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace spinlorex
