#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "audio/DeckStream.h"
#include "audio/WholeTrackAnalysis.h"
#include "platform/core/LeavableThread.h"

namespace spinlorex {

// One thread, below normal priority, that analyses whole files one at a time with readers
// of its own (never a deck's, never on the sound thread). A file asked for by a deck goes
// before every file the library asked for, and stops a library file being analysed, which
// starts again later. Results wait in a queue until the main thread takes them; the
// listener is told from the worker thread that one arrived.
class AnalysisWorker {
public:
    enum class Priority { Deck, Library };

    class Listener {
    public:
        virtual ~Listener() = default;
        // Worker thread: a result is waiting. Must not block; the Qt desk posts an event
        // to the main thread, headless callers may ignore it and take results when they
        // look.
        virtual void analysisReady() = 0;
    };

    struct Result {
        uint64_t job = 0;
        std::string path;
        WholeTrackResult track;
    };

    using ReaderFactory = std::function<DeckStream::Readers()>;

    // Main thread. Starts the thread. `readers` makes the worker's readers (tests give
    // slow or failing ones).
    explicit AnalysisWorker(Listener& listener, ReaderFactory readers = &measuringReaders);
    // Stops (see stop()).
    ~AnalysisWorker();
    AnalysisWorker(const AnalysisWorker&) = delete;
    AnalysisWorker& operator=(const AnalysisWorker&) = delete;

    // Main thread: queues a file; returns the job's number (never 0). The waveform summary's
    // columns go to `live` (when given) as they are made.
    uint64_t submit(std::string path, Priority priority, std::shared_ptr<LiveWaveform> live = {});
    // Main thread: forgets a job, stops it when it is being analysed; no result of it will
    // be taken afterwards.
    void cancel(uint64_t job);
    // Main thread: the oldest result waiting, if any.
    bool takeResult(Result& out);
    // Any thread: a job is queued or being analysed, or a result waits.
    bool busy() const;
    // Main thread: stops the analysis under way, forgets the queue and joins the thread,
    // or leaves it behind when it does not end within half a second (a read stuck on a
    // hung disk): it then stores nothing and tells no one. Safe to call twice.
    void stop();

private:
    struct Job {
        uint64_t id;
        std::string path;
        Priority priority;
        std::shared_ptr<LiveWaveform> live;
    };
    // Everything the thread touches: it lives as long as either the worker or its thread.
    struct Shared {
        mutable std::mutex mutex;
        std::condition_variable wake;
        Listener* listener;  // null once the worker stopped
        std::deque<Job> deckJobs;
        std::deque<Job> libraryJobs;
        std::deque<Result> results;
        Job current{0, {}, Priority::Library, {}};  // id 0: none
        bool stopping = false;
        bool requeueCurrent = false;  // a deck job stopped the current library job
        bool dropCurrent = false;     // the current job was cancelled (or the worker stops)
        uint64_t nextId = 1;
        std::atomic<bool> stopCurrent{false};

        // Under the lock: the next job (deck jobs first), false when none.
        bool takeNext(Job& job);
    };

    static void run(const std::shared_ptr<Shared>& shared, const ReaderFactory& makeReaders);

    std::shared_ptr<Shared> shared_;
    LeavableThread thread_;
};

}  // namespace spinlorex
