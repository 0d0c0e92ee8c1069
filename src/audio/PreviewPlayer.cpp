#include "audio/PreviewPlayer.h"

#include <algorithm>
#include <array>
#include <chrono>
#include <system_error>
#include <thread>

#include "audio/AudioFormat.h"
#include "audio/RingCopy.h"
#include "audio/TrackReader.h"

namespace spinlorex {
namespace {
constexpr auto relaxed = std::memory_order_relaxed;
// How long a worker with a full ring rests before looking again: well under what the ring
// holds, so the sound thread never runs dry.
constexpr auto kWorkerRest = std::chrono::milliseconds(10);
}  // namespace

// One preview's decoded audio, shared by its worker, the main thread and (through a raw
// pointer) the sound thread. `written` and `taken` count frames since the start; the
// worker writes only into the part the sound thread has taken.
struct PreviewPlayer::Feed {
    std::unique_ptr<TrackReader> reader;
    std::unique_ptr<int16_t[]> ring{new int16_t[static_cast<size_t>(kRingFrames) * 2]()};
    std::atomic<int64_t> written{0};
    std::atomic<int64_t> taken{0};
    std::atomic<bool> cancelled{false};
    std::atomic<bool> finished{false};  // the reader gave its last block

    bool drained() const {
        return finished.load(std::memory_order_acquire) &&
               taken.load(relaxed) >= written.load(std::memory_order_acquire);
    }
    void decode(int64_t from);
};

void PreviewPlayer::Feed::decode(int64_t from) {
    std::array<int16_t, kBlockFrames * 2> block{};
    from = std::clamp<int64_t>(from, 0, reader->totalFrames());
    if (from > 0) reader->seekFrame(from);
    // A reader without exact seeks lands before `from`: the frames before it are skipped.
    int64_t skip = from > 0 ? std::clamp<int64_t>(from - reader->nextFrame(), 0, kBlockFrames) : 0;
    while (!cancelled.load(relaxed)) {
        const int64_t w = written.load(relaxed);
        if (w - taken.load(std::memory_order_acquire) > kRingFrames - kBlockFrames) {
            std::this_thread::sleep_for(kWorkerRest);
            continue;
        }
        if (reader->decodeBlock(block.data()) != TrackReader::kDone) break;
        const auto n = static_cast<int32_t>(kBlockFrames - skip);
        const auto at = static_cast<int32_t>(w % kRingFrames);
        const int32_t run = std::min(n, kRingFrames - at);
        const int16_t* src = block.data() + skip * 2;
        std::copy_n(src, run * 2, &ring[static_cast<size_t>(at) * 2]);
        std::copy_n(src + static_cast<ptrdiff_t>(run) * 2, (n - run) * 2, ring.get());
        skip = 0;
        written.store(w + n, std::memory_order_release);
    }
    finished.store(true, std::memory_order_release);
}

PreviewPlayer::PreviewPlayer() = default;

PreviewPlayer::~PreviewPlayer() { stop(); }

void PreviewPlayer::play(std::unique_ptr<TrackReader> reader, int64_t from) {
    stop();
    if (!reader) return;
    auto feed = std::make_shared<Feed>();
    feed->reader = std::move(reader);
    try {
        // The worker keeps the feed alive for as long as it reads.
        std::thread([feed, from] { feed->decode(from); }).detach();
    } catch (const std::system_error&) {
        return;  // no thread: no preview
    }
    current_ = std::move(feed);
    wanted_.store(current_.get());
    generation_.fetch_add(1, relaxed);
    if (std::binary_semaphore* wake = wake_.load(relaxed)) wake->release();
}

void PreviewPlayer::stop() {
    if (current_) {
        current_->cancelled.store(true, relaxed);
        wanted_.store(nullptr);
        generation_.fetch_add(1, relaxed);
        retired_.push_back(std::move(current_));
        current_.reset();
    }
    collect();
}

void PreviewPlayer::collect() {
    Feed* used = inUse_.load();
    std::erase_if(retired_, [used](const std::shared_ptr<Feed>& f) { return f.get() != used; });
}

bool PreviewPlayer::playing() const { return current_ && !current_->drained(); }

int32_t PreviewPlayer::buffered() const {
    const Feed* f = wanted_.load();
    if (f == nullptr) return 0;
    return static_cast<int32_t>(f->written.load(std::memory_order_acquire) -
                                f->taken.load(relaxed));
}

PreviewPlayer::Feed* PreviewPlayer::feed() {
    Feed* f = wanted_.load();
    for (;;) {
        inUse_.store(f);
        Feed* again = wanted_.load();
        if (again == f) return f;
        f = again;
    }
}

bool PreviewPlayer::sounding() {
    const Feed* f = feed();
    return f != nullptr && !f->drained();
}

int32_t PreviewPlayer::available() {
    const Feed* f = feed();
    if (f == nullptr) return 0;
    return static_cast<int32_t>(f->written.load(std::memory_order_acquire) -
                                f->taken.load(relaxed));
}

int32_t PreviewPlayer::take(int16_t* out, int32_t frames) {
    Feed* f = feed();
    if (f == nullptr) return 0;
    const int64_t t = f->taken.load(relaxed);
    const auto n = static_cast<int32_t>(
        std::min<int64_t>(frames, f->written.load(std::memory_order_acquire) - t));
    if (n <= 0) return 0;
    copyFromRing(out, f->ring.get(), kRingFrames, static_cast<int32_t>(t % kRingFrames), n);
    f->taken.store(t + n, std::memory_order_release);
    return n;
}

}  // namespace spinlorex
