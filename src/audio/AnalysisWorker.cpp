#include "audio/AnalysisWorker.h"

#include <algorithm>

#ifdef __linux__
#include <sys/resource.h>
#include <unistd.h>
#endif

namespace spinlorex {
namespace {

// Below the desk's own threads: the analysis takes what the machine leaves.
void lowerThisThreadsPriority() {
#ifdef __linux__
    // On Linux the nice value is each thread's own.
    setpriority(PRIO_PROCESS, static_cast<id_t>(gettid()), 10);
#endif
}

}  // namespace

AnalysisWorker::AnalysisWorker(Listener& listener, ReaderFactory readers)
    : listener_(listener), makeReaders_(std::move(readers)) {
    thread_ = std::thread([this] { run(); });
}

AnalysisWorker::~AnalysisWorker() { stop(); }

uint64_t AnalysisWorker::submit(std::string path, Priority priority) {
    std::lock_guard lock(mutex_);
    const uint64_t id = nextId_++;
    (priority == Priority::Deck ? deckJobs_ : libraryJobs_)
        .push_back({id, std::move(path), priority});
    // A deck's file does not wait for the library's.
    if (priority == Priority::Deck && current_.id != 0 && current_.priority == Priority::Library) {
        requeueCurrent_ = true;
        stopCurrent_.store(true, std::memory_order_relaxed);
    }
    wake_.notify_one();
    return id;
}

void AnalysisWorker::cancel(uint64_t job) {
    std::lock_guard lock(mutex_);
    const auto drop = [job](std::deque<Job>& jobs) {
        std::erase_if(jobs, [job](const Job& j) { return j.id == job; });
    };
    drop(deckJobs_);
    drop(libraryJobs_);
    std::erase_if(results_, [job](const Result& r) { return r.job == job; });
    if (current_.id == job) {
        dropCurrent_ = true;
        stopCurrent_.store(true, std::memory_order_relaxed);
    }
}

bool AnalysisWorker::takeResult(Result& out) {
    std::lock_guard lock(mutex_);
    if (results_.empty()) return false;
    out = std::move(results_.front());
    results_.pop_front();
    return true;
}

bool AnalysisWorker::busy() const {
    std::lock_guard lock(mutex_);
    return current_.id != 0 || !deckJobs_.empty() || !libraryJobs_.empty() || !results_.empty();
}

void AnalysisWorker::stop() {
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
        deckJobs_.clear();
        libraryJobs_.clear();
        dropCurrent_ = true;
        stopCurrent_.store(true, std::memory_order_relaxed);
    }
    wake_.notify_one();
    if (thread_.joinable()) thread_.join();
    std::lock_guard lock(mutex_);
    results_.clear();
}

bool AnalysisWorker::takeNext(Job& job) {
    std::deque<Job>& from = !deckJobs_.empty() ? deckJobs_ : libraryJobs_;
    if (from.empty()) return false;
    job = std::move(from.front());
    from.pop_front();
    return true;
}

void AnalysisWorker::run() {
    lowerThisThreadsPriority();
    const DeckStream::Readers readers = makeReaders_();
    std::unique_lock lock(mutex_);
    for (;;) {
        Job job{0, {}, Priority::Library};
        wake_.wait(lock, [&] { return stopping_ || !deckJobs_.empty() || !libraryJobs_.empty(); });
        if (stopping_ || !takeNext(job)) break;
        current_ = job;
        requeueCurrent_ = false;
        dropCurrent_ = false;
        stopCurrent_.store(false, std::memory_order_relaxed);
        lock.unlock();

        TrackReader* reader = readers.forPath(job.path);
        WholeTrackResult result;
        if (reader != nullptr)
            result = analyseWholeTrack(*reader, job.path, &stopCurrent_);
        else
            result.status = kStatusCannotOpen;

        lock.lock();
        current_ = Job{0, {}, Priority::Library};
        if (dropCurrent_) continue;
        if (result.cancelled) {
            // Stopped for a deck's file: it starts again once the decks' files are done.
            if (requeueCurrent_) libraryJobs_.push_front(std::move(job));
            continue;
        }
        results_.push_back({job.id, std::move(job.path), std::move(result)});
        lock.unlock();
        listener_.analysisReady();
        lock.lock();
    }
}

}  // namespace spinlorex
