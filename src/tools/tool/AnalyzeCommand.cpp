// spinlorex-tool analyze: each file goes through a real deck (load, decode ahead, analyse
// every block) as fast as the machine allows, and what the beat analyser measured is
// printed as one JSON object per line.

#include <cstdio>
#include <string>

#include "platform/core/ProcessSignals.h"
#include "platform/settings/Settings.h"
#include "tools/tool/ArgParser.h"
#include "tools/tool/Commands.h"
#include "tools/tool/Json.h"
#include "tools/tool/OfflineSession.h"

namespace spinlorex::tool {
namespace {

struct FrameBudget {
    int64_t left;
};

// Counts down the frames a track may take; a deck that somehow never reached its end
// stops here instead of hanging the batch.
bool countFrames(void* context, const int16_t*, int32_t count) {
    auto* budget = static_cast<FrameBudget*>(context);
    budget->left -= count;
    return budget->left > 0 && !StopSignals::stopRequested();
}

void printResult(const std::string& path, OfflineSession& session) {
    DeckStream& deck = session.deck();
    const TrackEntry* track = deck.track();
    const TrackAnalysis* a = deck.analysis();
    const TrackRecord* record = track != nullptr ? track->record : nullptr;
    const auto r = std::memory_order_relaxed;
    JsonLine json;
    json.add("path", path);
    json.add("status", static_cast<int64_t>(session.status()));
    json.add("duration", static_cast<int64_t>(deck.duration()));
    json.add("bpm", record != nullptr ? record->currentBpm() : 0.0);
    json.add("bpmConfidence", a != nullptr ? a->bpmConfidence.load(r) : 0);
    json.add("firstStrongBeat", a != nullptr ? a->firstStrongBeat.load(r) : 0.0);
    json.add("lastStrongBeat", a != nullptr ? a->lastStrongBeat.load(r) : 0.0);
    json.add("firstStrongBeatLevel", a != nullptr ? a->firstStrongBeatLevel.load(r) : 0);
    json.add("lastStrongBeatLevel", a != nullptr ? a->lastStrongBeatLevel.load(r) : 0);
    json.add("peakLevel", a != nullptr ? a->peakLevel.load(r) : 0);
    json.add("loudnessPeak", a != nullptr ? a->loudnessPeak.load(r) : 0);
    std::printf("%s\n", json.text().c_str());
    std::fflush(stdout);
}

}  // namespace

int analyzeCommand(const Args& args) {
    ArgParser a(args, {"--db"}, {});
    if (!a.ok() || a.positional().empty()) {
        std::fprintf(stderr, "usage: spinlorex-tool analyze [--db FOLDER] FILE...\n");
        return 2;
    }
    // Analysis hears every block from the start at normal speed.
    set(settings().autoMix, 0);
    set(settings().autoBpm, 0);
    set(settings().autoLevel, 0);

    // A stop signal ends the batch after the file under way; what was learnt is stored.
    StopSignals stopSignals;
    OfflineSession session;
    if (const auto folder = a.value("--db"); folder && !session.openDatabase(*folder)) return 1;

    bool anyFailed = false;
    for (const std::string& path : a.positional()) {
        if (StopSignals::stopRequested()) return kInterrupted;
        if (session.load(path) == kStatusNormal) {
            FrameBudget budget{(static_cast<int64_t>(session.deck().duration()) + 60) * 44100};
            session.playUntilDone(0.0f, &countFrames, &budget);
        }
        printResult(path, session);
        if (session.status() != kStatusNormal) anyFailed = true;
    }
    if (StopSignals::stopRequested()) return kInterrupted;
    return anyFailed ? 1 : 0;
}

}  // namespace spinlorex::tool
