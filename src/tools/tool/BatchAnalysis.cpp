#include "tools/tool/BatchAnalysis.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <optional>
#include <thread>

#include "audio/DeckStream.h"
#include "platform/core/ProcessSignals.h"

namespace spinlorex::tool {

int defaultJobs() { return static_cast<int>(std::max(1u, std::thread::hardware_concurrency())); }

void analyseInOrder(const std::vector<std::string>& paths, int jobs,
                    const std::function<void(size_t, const WholeTrackResult&)>& inOrder,
                    const std::function<void(size_t)>& progress) {
    std::vector<std::optional<WholeTrackResult>> results(paths.size());
    std::mutex mutex;
    std::condition_variable ready;
    size_t finished = 0;
    std::atomic<size_t> next{0};

    const auto work = [&] {
        const DeckStream::Readers readers = measuringReaders();
        for (size_t i = next++; i < paths.size(); i = next++) {
            if (StopSignals::stopRequested()) return;
            TrackReader* reader = readers.forPath(paths[i]);
            WholeTrackResult result;
            if (reader != nullptr)
                result = analyseWholeTrack(*reader, paths[i]);
            else
                result.status = kStatusCannotOpen;
            std::lock_guard lock(mutex);
            results[i] = std::move(result);
            ++finished;
            ready.notify_one();
        }
    };
    const size_t threads = std::min(static_cast<size_t>(std::max(jobs, 1)), paths.size());
    std::vector<std::thread> workers;
    for (size_t t = 0; t < threads; ++t) workers.emplace_back(work);

    size_t reported = 0;
    size_t i = 0;
    while (i < paths.size()) {
        std::unique_lock lock(mutex);
        // A stop signal wakes nobody: look for it now and then. The files under way are
        // finished by their workers; no result is handed on after it.
        ready.wait_for(lock, std::chrono::milliseconds(100), [&] {
            return results[i].has_value() || (progress && finished > reported) ||
                   StopSignals::stopRequested();
        });
        if (StopSignals::stopRequested()) break;
        if (!results[i].has_value() && !(progress && finished > reported)) continue;
        if (progress && finished > reported) {
            reported = finished;
            lock.unlock();
            progress(reported);
            continue;
        }
        const WholeTrackResult result = std::move(*results[i]);
        results[i].reset();
        lock.unlock();
        inOrder(i++, result);
    }
    for (std::thread& w : workers) w.join();
}

}  // namespace spinlorex::tool
