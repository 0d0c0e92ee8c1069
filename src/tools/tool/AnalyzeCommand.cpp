// spinlorex-tool analyze: each file is analysed whole, once from its start, by a beat
// analyser in the state of a freshly built deck, on as many threads as --jobs says; what
// it measured is printed as one JSON object per line, in the order of the arguments. The
// same file gives the same line alone, in any batch and however busy the machine is.

#include <unistd.h>

#include <cstdio>
#include <string>

#include "library/MusicalKey.h"
#include "library/ShownTempo.h"
#include "library/TrackDatabase.h"
#include "library/TrackStore.h"
#include "library/TrackTags.h"
#include "platform/core/ProcessSignals.h"
#include "tools/tool/ArgParser.h"
#include "tools/tool/BatchAnalysis.h"
#include "tools/tool/Commands.h"
#include "tools/tool/Json.h"
#include "tools/tool/OfflineSession.h"

namespace spinlorex::tool {
namespace {

void printResult(const std::string& path, const WholeTrackResult& result) {
    const TrackMeasures& m = result.measures;
    JsonLine json;
    json.add("path", path);
    json.add("status", static_cast<int64_t>(result.status));
    json.add("duration", static_cast<int64_t>(result.duration));
    json.add("bpm", static_cast<double>(m.bpm));
    json.add("bpmConfidence", m.bpmConfidence);
    json.add("firstStrongBeat", static_cast<double>(m.firstStrongBeat));
    json.add("lastStrongBeat", static_cast<double>(m.lastStrongBeat));
    json.add("firstStrongBeatLevel", m.firstStrongBeatLevel);
    json.add("lastStrongBeatLevel", m.lastStrongBeatLevel);
    json.add("peakLevel", m.peakLevel);
    json.add("loudnessPeak", m.loudnessPeak);
    const double seconds = result.duration;
    json.add("gridBpm", result.grid.mainBpm(seconds));
    json.add("shownBpm", static_cast<double>(shownTempo(m.bpm, result.grid, seconds)));
    const auto key = keyOfCode(result.key);
    json.add("key", key ? keyText(*key, KeyNotation::Camelot) : std::string());
    const TrackTags tags = readTrackTags(path).value_or(TrackTags{});
    JsonLine tagJson;
    tagJson.add("artist", tags.artist);
    tagJson.add("title", tags.title);
    tagJson.add("album", tags.album);
    tagJson.add("genre", tags.genre);
    tagJson.add("year", tags.year);
    json.add("tags", tagJson);
    std::printf("%s\n", json.text().c_str());
    std::fflush(stdout);
}

}  // namespace

int analyzeCommand(const Args& args) {
    ArgParser a(args, {"--db", "--jobs"}, {});
    const auto jobs = static_cast<int>(a.integer("--jobs", defaultJobs(), 1, 256));
    if (!a.ok() || a.positional().empty()) {
        std::fprintf(stderr, "usage: spinlorex-tool analyze [--db FOLDER] [--jobs N] FILE...\n");
        return 2;
    }
    // A stop signal ends the batch after the files under way; what was learnt is stored.
    StopSignals stopSignals;
    TrackDatabase database;
    TrackStore store;  // the beat grids, beside the database
    if (const auto folder = a.value("--db")) {
        if (!openToolDatabase(database, *folder)) return 1;
        store.open(*folder);
    }

    const std::vector<std::string>& paths = a.positional();
    const bool showProgress = isatty(STDERR_FILENO) != 0;
    bool anyFailed = false;
    analyseInOrder(
        paths, jobs,
        [&](size_t i, const WholeTrackResult& result) {
            if (showProgress)
                std::fprintf(stderr, "\r\033[K");  // the line comes back with the next count
            printResult(paths[i], result);
            if (result.status != kStatusNormal) {
                anyFailed = true;
                return;
            }
            database.storeMeasures(database.findOrAdd(paths[i], result.fileSize), result.measures);
            if (store.state() != TrackStore::State::Closed) {
                auto grid = std::make_shared<BeatGrid>(result.grid);
                grid->key = result.key;
                store.putGrid(paths[i], result.fileSize, std::move(grid));
            }
        },
        [&](size_t done) {
            if (!showProgress) return;
            std::fprintf(stderr, "\ranalysed %zu of %zu\033[K", done, paths.size());
            if (done == paths.size()) std::fprintf(stderr, "\n");
        });
    store.flush();
    store.takeLoaded();
    if (!store.notice().empty())
        std::fprintf(stderr, "spinlorex-tool: %s\n", store.notice().c_str());
    store.close();
    database.close();
    if (StopSignals::stopRequested()) return kInterrupted;
    return anyFailed ? 1 : 0;
}

}  // namespace spinlorex::tool
