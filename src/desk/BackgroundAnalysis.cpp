#include "desk/BackgroundAnalysis.h"

#include "audio/DeckPair.h"
#include "library/MusicLibrary.h"
#include "library/TrackDatabase.h"
#include "library/TrackStore.h"

namespace spinlorex {
namespace {
// Rows of the library's lists one poll looks at, at most.
constexpr size_t kRowsPerPoll = 4096;
}  // namespace

BackgroundAnalysis::BackgroundAnalysis(DeckPair& decks, TrackDatabase& database,
                                       AnalysisWorker::Listener& listener,
                                       AnalysisWorker::ReaderFactory readers)
    : decks_(decks), database_(database), worker_(listener, std::move(readers)) {}

BackgroundAnalysis::~BackgroundAnalysis() { shutdown(); }

void BackgroundAnalysis::shutdown() {
    stopped_ = true;
    worker_.stop();
    jobs_.clear();
    deckJob_ = {0, 0};
    lookingUp_ = {nullptr, nullptr};
    libraryJob_ = 0;
}

bool BackgroundAnalysis::failed(const TrackRecord* record) const {
    const auto found = done_.find(record);
    return found != done_.end() && found->second == Outcome::Failed;
}

uint64_t BackgroundAnalysis::submit(const std::string& path, TrackRecord* record, int deck) {
    std::shared_ptr<LiveWaveform> live;
    if (deck >= 0) live_[static_cast<size_t>(deck)] = live = std::make_shared<LiveWaveform>();
    const uint64_t job = worker_.submit(
        path, deck >= 0 ? AnalysisWorker::Priority::Deck : AnalysisWorker::Priority::Library,
        std::move(live));
    jobs_.emplace(job, Job{record, deck});
    return job;
}

void BackgroundAnalysis::forget(uint64_t job) {
    if (job == 0) return;
    worker_.cancel(job);
    jobs_.erase(job);
}

bool BackgroundAnalysis::wanted(const TrackRecord* record) const {
    return record != nullptr && record->fileSize != 0 && !done_.contains(record) &&
           !inFlight(record);
}

void BackgroundAnalysis::gridsKnown() {
    gridsKnown_ = true;
    cursors_ = {};  // the lists are looked through again
}

bool BackgroundAnalysis::unmeasured(const TrackRecord* record) const {
    return record->currentBpm() == 0.0f || (gridsKnown_ && !record->grid);
}

bool BackgroundAnalysis::inFlight(const TrackRecord* record) const {
    for (const auto& [id, job] : jobs_)
        if (job.record == record) return true;
    return false;
}

void BackgroundAnalysis::deckLoaded(int deck) {
    if (stopped_ || (deck != 0 && deck != 1)) return;
    uint64_t& own = deckJob_[static_cast<size_t>(deck)];
    forget(own);
    own = 0;
    live_[static_cast<size_t>(deck)].reset();
    lookingUp_[static_cast<size_t>(deck)] = nullptr;
    // The track the deck's job held is the library's to analyse again.
    cursors_ = {};

    const DeckStream& d = decks_[deck];
    const TrackEntry* track = d.track();
    if (track == nullptr || d.analysis() == nullptr || d.duration() < 0) return;
    TrackRecord* record = track->record;
    const bool measured = d.tempoKnownAtLoad() && !unmeasured(record);
    if (measured && record->waveform) return;
    // Only the summary is missing: the store may have it, which costs no decoding.
    if (measured && store_ != nullptr) {
        lookingUp_[static_cast<size_t>(deck)] = record;
        store_->requestWaveform(record->name, record->fileSize);
        return;
    }
    analyseForDeck(deck, record);
}

void BackgroundAnalysis::deliverWaveforms() {
    if (store_ == nullptr) return;
    for (TrackStore::WaveformRead& read : store_->takeWaveforms()) {
        for (int deck = 0; deck < 2; ++deck) {
            TrackRecord*& asked = lookingUp_[static_cast<size_t>(deck)];
            if (asked == nullptr || asked->fileSize != read.key.fileSize ||
                asked->name != read.key.name)
                continue;
            TrackRecord* record = asked;
            asked = nullptr;
            if (read.summary)
                record->waveform = read.summary;
            else if (!stopped_ && !record->waveform)
                analyseForDeck(deck, record);
        }
    }
}

void BackgroundAnalysis::analyseForDeck(int deck, TrackRecord* record) {
    const TrackEntry* track = decks_[deck].track();
    if (track == nullptr || track->record != record) return;
    // The library may be analysing this very file: the deck's own job takes it over.
    if (libraryJob_ != 0 && jobs_.at(libraryJob_).record == record) {
        forget(libraryJob_);
        libraryJob_ = 0;
    }
    if (!wanted(record)) return;
    deckJob_[static_cast<size_t>(deck)] = submit(track->path, record, deck);
}

void BackgroundAnalysis::pollLibrary() {
    if (stopped_ || library_ == nullptr || libraryJob_ != 0) return;
    // The folder shown first, then the playlist, each from the top once it changed.
    const std::array<const TrackList*, 2> lists{&library_->files(), &library_->playlist()};
    size_t budget = kRowsPerPoll;
    for (size_t l = 0; l < lists.size(); ++l) {
        const std::vector<LibraryRow>& rows = lists[l]->rows();
        ListCursor& cursor = cursors_[l];
        if (cursor.generation != lists[l]->generation()) cursor = {lists[l]->generation(), 0};
        for (; cursor.next < rows.size(); ++cursor.next) {
            if (budget-- == 0) return;  // the rest at the next poll
            const LibraryRow& row = rows[cursor.next];
            TrackRecord* record = row.entry.record;
            if (record == nullptr || !unmeasured(record) || !wanted(record)) continue;
            libraryJob_ = submit(row.entry.path, record, -1);
            return;
        }
    }
}

void BackgroundAnalysis::deliver() {
    AnalysisWorker::Result result;
    while (worker_.takeResult(result)) {
        const auto found = jobs_.find(result.job);
        if (found == jobs_.end()) continue;  // cancelled after it finished
        const Job job = found->second;
        jobs_.erase(found);
        if (job.deck >= 0 && deckJob_[static_cast<size_t>(job.deck)] == result.job)
            deckJob_[static_cast<size_t>(job.deck)] = 0;
        if (libraryJob_ == result.job) libraryJob_ = 0;
        apply(result, job);
    }
    pollLibrary();
}

void BackgroundAnalysis::apply(const AnalysisWorker::Result& result, const Job& job) {
    TrackRecord* record = job.record;
    // A file that changed since its record was made is another track: leave it.
    if (result.track.status != kStatusNormal || result.track.fileSize != record->fileSize) {
        done_[record] = Outcome::Failed;
        return;
    }
    done_[record] = Outcome::Measured;
    store(record, result.track.measures);
    // The grid of a whole track only: one cut short is not the track's.
    if (!result.track.cancelled) {
        auto fitted = std::make_shared<BeatGrid>(result.track.grid);
        fitted->key = result.track.key;
        std::shared_ptr<const BeatGrid> grid = std::move(fitted);
        attachGrid(*record, grid);
        if (store_ != nullptr) store_->putGrid(result.path, record->fileSize, std::move(grid));
    }
    if (result.track.waveform) {
        record->waveform = result.track.waveform;
        if (store_ != nullptr) store_->putWaveform(result.path, record->fileSize, record->waveform);
    }

    // A deck that holds the track, or waits to come in against a deck that holds it, and
    // has not started since: matched again with the tempo and loudness now known.
    for (int n = 0; n < 2; ++n) {
        DeckStream& d = decks_[n];
        const TrackEntry* own = d.track();
        const TrackEntry* other = decks_[1 - n].track();
        const bool concerned = (own != nullptr && own->record == record) ||
                               (other != nullptr && other->record == record);
        if (concerned && d.awaitingStart() && !d.playing()) d.applyAutomaticMatching(false);
    }
    if (library_ != nullptr) library_->recordChanged(record);
}

void BackgroundAnalysis::store(TrackRecord* record, const TrackMeasures& measures) {
    for (int d = 0; d < 2; ++d) {
        const TrackEntry* track = decks_[d].track();
        if (track != nullptr && track->record == record && decks_[d].analysis() != nullptr) {
            // Both decks holding it share one block, written by the one sound thread.
            decks_[d].adoptMeasures(measures);
            return;
        }
    }
    database_.storeMeasures(record, measures);
}

}  // namespace spinlorex
