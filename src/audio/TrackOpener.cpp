#include "audio/TrackOpener.h"

#include <fcntl.h>
#include <unistd.h>

#include <deque>
#include <mutex>
#include <system_error>
#include <thread>

#include "audio/Mp3Reader.h"
#include "audio/SndfileReader.h"
#include "audio/WavReader.h"
#include "library/AudioFileTypes.h"

namespace spinlorex {
namespace {

// How much of a file's start the opening thread reads ahead of the sound thread.
constexpr size_t kPrefetchBytes = size_t{1} << 20;

// Reads the start of the file into the system's cache. Best effort: a failure changes
// nothing, the sound thread then reads it itself.
void prefetchStart(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) return;
    static thread_local char scratch[64 * 1024];
    size_t total = 0;
    while (total < kPrefetchBytes) {
        const ssize_t got = ::read(fd, scratch, sizeof scratch);
        if (got <= 0) break;
        total += static_cast<size_t>(got);
    }
    ::close(fd);
}

}  // namespace

// What the opening threads share with the opener; it outlives the opener for as long as a
// thread still holds it.
struct TrackOpener::Shared {
    std::mutex mutex;
    std::deque<Opened> answers;
    Wake wake;  // cleared when the opener goes
};

TrackOpener::ReaderFactory TrackOpener::standardReaders() {
    return [](const std::string& path) -> std::unique_ptr<TrackReader> {
        if (isWavFileName(path)) return std::make_unique<WavReader>();
        if (isSndfileFileName(path)) return std::make_unique<SndfileReader>();
        return std::make_unique<Mp3Reader>();
    };
}

TrackOpener::TrackOpener(Wake wake, ReaderFactory readers)
    : shared_(std::make_shared<Shared>()), readers_(std::move(readers)) {
    shared_->wake = std::move(wake);
}

TrackOpener::~TrackOpener() {
    std::deque<Opened> dropped;
    {
        std::lock_guard lock(shared_->mutex);
        shared_->wake = nullptr;
        dropped.swap(shared_->answers);
    }
}

uint64_t TrackOpener::open(int deck, const std::string& path) {
    const uint64_t ticket = nextTicket_++;
    pending_[deck == 1 ? 1 : 0] = ticket;
    auto run = [shared = shared_, reader = readers_(path), deck, ticket, path]() mutable {
        Opened answer{deck, ticket, path, nullptr, 0};
        if (reader) {
            answer.seconds = reader->open(path);
            if (answer.seconds > 0) {
                prefetchStart(path);
                answer.reader = std::move(reader);
            }
        }
        std::lock_guard lock(shared->mutex);
        if (!shared->wake) return;  // the opener is gone: the reader closes with this thread
        shared->answers.push_back(std::move(answer));
        shared->wake();
    };
    try {
        std::thread(std::move(run)).detach();
    } catch (const std::system_error&) {
        // No thread to be had: the load fails as a file that cannot be opened does.
        std::lock_guard lock(shared_->mutex);
        shared_->answers.push_back(Opened{deck, ticket, path, nullptr, 0});
        if (shared_->wake) shared_->wake();
    }
    return ticket;
}

void TrackOpener::cancel(int deck) { pending_[deck == 1 ? 1 : 0] = 0; }

bool TrackOpener::take(Opened& out) {
    for (;;) {
        Opened next;
        {
            std::lock_guard lock(shared_->mutex);
            if (shared_->answers.empty()) return false;
            next = std::move(shared_->answers.front());
            shared_->answers.pop_front();
        }
        uint64_t& wanted = pending_[next.deck == 1 ? 1 : 0];
        if (next.ticket != wanted) continue;  // a newer load took its place
        wanted = 0;
        out = std::move(next);
        return true;
    }
}

}  // namespace spinlorex
