#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <unordered_map>

#include "audio/AnalysisWorker.h"

namespace spinlorex {

class DeckPair;
class MusicLibrary;
class TrackDatabase;
class TrackStore;
struct TrackRecord;

// Tempo known before the first play: a track loaded on a deck whose record holds no tempo
// yet (confidence 0), or no waveform summary that the record or the track store knows, is
// analysed whole on the analysis worker (the deck's waveform drawn as it grows), and what it
// measured is stored in the record as `spinlorex-tool analyze --db` stores it (a tempo set by hand
// meanwhile stays), and its beat grid in the record and the track store. A deck not started since
// the load then matches pitch and level again as at its load. With a library attached, the tracks
// of the files list and then of the playlist that have no tempo follow, one at a time, each deck's
// own track first; their rows show the results.
//
// The worker only reads files: every record and analysis block is written here, on the
// main thread, or by a deck holding the block through its request to the sound thread
// (the sound thread writes into a held block while it analyses, so nothing else may).
//
// Main thread only. The owner of the worker's listener calls deliver() on the main thread
// after each analysisReady() (the Qt desk posts an event; headless callers call it when
// they look).
class BackgroundAnalysis {
public:
    BackgroundAnalysis(DeckPair& decks, TrackDatabase& database, AnalysisWorker::Listener& listener,
                       AnalysisWorker::ReaderFactory readers = &measuringReaders);
    ~BackgroundAnalysis();
    BackgroundAnalysis(const BackgroundAnalysis&) = delete;
    BackgroundAnalysis& operator=(const BackgroundAnalysis&) = delete;

    // The library whose lists are analysed and whose rows show the results (null: none).
    void attachLibrary(MusicLibrary* library) { library_ = library; }
    // The store that keeps the beat grids of whole analyses (null: none).
    void attachStore(TrackStore* store) { store_ = store; }
    // The store's grids are on the records: tracks without one (analysed before grids
    // existed) are analysed again for it, as tracks without a tempo are.
    void gridsKnown();

    // A track was loaded on the deck (or its load failed): the analysis of its former
    // track stops, and its new one is analysed when it has no tempo, or no waveform summary
    // in the record nor (once asked) in the store.
    void deckLoaded(int deck);
    // The store answered what was asked of it: records get the summaries it had, the
    // decks' tracks it had none for are analysed.
    void deliverWaveforms();
    // The columns of the waveform summary being made for the deck's track, while its
    // analysis runs (null when none was started for it since its load).
    const LiveWaveform* liveWaveform(int deck) const { return live_[deck == 1 ? 1u : 0u].get(); }
    // Stores every result that arrived, then queues the library's next track.
    void deliver();
    // Queues the next track of the library without a tempo, unless one is under way.
    void pollLibrary();
    // The desk closes: the analysis stops and nothing more is queued. Safe to call twice.
    void shutdown();

    // A job is queued, under way or its result not yet delivered.
    bool busy() const { return !jobs_.empty(); }
    // The file failed (it would not open or decode) and is not tried again in this run.
    bool failed(const TrackRecord* record) const;

private:
    enum class Outcome { Measured, Failed };
    struct Job {
        TrackRecord* record;
        int deck;  // -1: the library's
    };

    uint64_t submit(const std::string& path, TrackRecord* record, int deck);
    // Analyses the deck's track, unless it is analysed already or failed in this run.
    void analyseForDeck(int deck, TrackRecord* record);
    void forget(uint64_t job);
    bool wanted(const TrackRecord* record) const;
    // Neither the tempo nor (once the store's grids are known) the grid is known.
    bool unmeasured(const TrackRecord* record) const;
    bool inFlight(const TrackRecord* record) const;
    void store(TrackRecord* record, const TrackMeasures& measures);
    void apply(const AnalysisWorker::Result& result, const Job& job);

    DeckPair& decks_;
    TrackDatabase& database_;
    AnalysisWorker worker_;
    MusicLibrary* library_ = nullptr;
    TrackStore* store_ = nullptr;
    bool gridsKnown_ = false;
    std::unordered_map<uint64_t, Job> jobs_;
    std::array<uint64_t, 2> deckJob_{0, 0};
    std::array<std::shared_ptr<LiveWaveform>, 2> live_;
    std::array<TrackRecord*, 2> lookingUp_{nullptr, nullptr};  // asked of the store
    uint64_t libraryJob_ = 0;
    // Records analysed or failed in this run: never queued again.
    std::unordered_map<const TrackRecord*, Outcome> done_;
    // How far each of the library's lists (files, playlist) has been looked through since
    // it last changed: a poll goes on from there, a bounded number of rows at a time, so a
    // list of a million rows costs the main thread little, and nothing once looked through.
    struct ListCursor {
        uint64_t generation = ~uint64_t{0};
        size_t next = 0;
    };
    std::array<ListCursor, 2> cursors_{};
    bool stopped_ = false;
};

}  // namespace spinlorex
