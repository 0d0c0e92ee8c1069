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

// How long a stop waits for the analysis under way before leaving its thread behind.
constexpr std::chrono::milliseconds kStopWait{500};

}  // namespace

AnalysisWorker::AnalysisWorker(Listener& listener, ReaderFactory readers)
    : shared_(std::make_shared<Shared>()) {
    shared_->listener = &listener;
    thread_ = LeavableThread(
        [shared = shared_, makeReaders = std::move(readers)] { run(shared, makeReaders); });
}

AnalysisWorker::~AnalysisWorker() { stop(); }

uint64_t AnalysisWorker::submit(std::string path, Priority priority,
                                std::shared_ptr<LiveWaveform> live) {
    Shared& s = *shared_;
    std::lock_guard lock(s.mutex);
    const uint64_t id = s.nextId++;
    (priority == Priority::Deck ? s.deckJobs : s.libraryJobs)
        .push_back({id, std::move(path), priority, std::move(live)});
    // A deck's file does not wait for the library's.
    if (priority == Priority::Deck && s.current.id != 0 &&
        s.current.priority == Priority::Library) {
        s.requeueCurrent = true;
        s.stopCurrent.store(true, std::memory_order_relaxed);
    }
    s.wake.notify_one();
    return id;
}

void AnalysisWorker::cancel(uint64_t job) {
    Shared& s = *shared_;
    std::lock_guard lock(s.mutex);
    const auto drop = [job](std::deque<Job>& jobs) {
        std::erase_if(jobs, [job](const Job& j) { return j.id == job; });
    };
    drop(s.deckJobs);
    drop(s.libraryJobs);
    std::erase_if(s.results, [job](const Result& r) { return r.job == job; });
    if (s.current.id == job) {
        s.dropCurrent = true;
        s.stopCurrent.store(true, std::memory_order_relaxed);
    }
}

bool AnalysisWorker::takeResult(Result& out) {
    Shared& s = *shared_;
    std::lock_guard lock(s.mutex);
    if (s.results.empty()) return false;
    out = std::move(s.results.front());
    s.results.pop_front();
    return true;
}

bool AnalysisWorker::busy() const {
    const Shared& s = *shared_;
    std::lock_guard lock(s.mutex);
    return s.current.id != 0 || !s.deckJobs.empty() || !s.libraryJobs.empty() || !s.results.empty();
}

void AnalysisWorker::stop() {
    Shared& s = *shared_;
    {
        std::lock_guard lock(s.mutex);
        s.stopping = true;
        s.listener = nullptr;
        s.deckJobs.clear();
        s.libraryJobs.clear();
        s.dropCurrent = true;
        s.stopCurrent.store(true, std::memory_order_relaxed);
    }
    s.wake.notify_one();
    thread_.joinWithin(kStopWait);
    std::lock_guard lock(s.mutex);
    s.results.clear();
}

bool AnalysisWorker::Shared::takeNext(Job& job) {
    std::deque<Job>& from = !deckJobs.empty() ? deckJobs : libraryJobs;
    if (from.empty()) return false;
    job = std::move(from.front());
    from.pop_front();
    return true;
}

void AnalysisWorker::run(const std::shared_ptr<Shared>& shared, const ReaderFactory& makeReaders) {
    lowerThisThreadsPriority();
    Shared& s = *shared;
    const DeckStream::Readers readers = makeReaders();
    std::unique_lock lock(s.mutex);
    for (;;) {
        Job job{0, {}, Priority::Library, {}};
        s.wake.wait(lock,
                    [&] { return s.stopping || !s.deckJobs.empty() || !s.libraryJobs.empty(); });
        if (s.stopping || !s.takeNext(job)) break;
        s.current = job;
        s.requeueCurrent = false;
        s.dropCurrent = false;
        s.stopCurrent.store(false, std::memory_order_relaxed);
        lock.unlock();

        TrackReader* reader = readers.forPath(job.path);
        WholeTrackResult result;
        if (reader != nullptr)
            result = analyseWholeTrack(*reader, job.path, &s.stopCurrent, {.live = job.live.get()});
        else
            result.status = kStatusCannotOpen;

        lock.lock();
        s.current = Job{0, {}, Priority::Library, {}};
        if (s.dropCurrent) continue;
        if (result.cancelled) {
            // Stopped for a deck's file: it starts again once the decks' files are done.
            if (s.requeueCurrent) s.libraryJobs.push_front(std::move(job));
            continue;
        }
        s.results.push_back({job.id, std::move(job.path), std::move(result)});
        // Told under the lock, so a stop cannot take the listener away meanwhile; it only
        // posts a call to the main thread.
        if (s.listener != nullptr) s.listener->analysisReady();
    }
}

}  // namespace spinlorex
