#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <semaphore>
#include <vector>

namespace spinlorex {

class TrackReader;

// A track heard in the headphones only, before it goes on a deck. A worker thread of its
// own seeks and decodes the file into a ring; the sound thread takes frames from the ring
// for the pre-listen. Each play gets a fresh worker and ring: a newer play or a stop lets
// the older worker go, and a worker stuck in a read is simply left (it ends by itself when
// the read returns), so nothing ever waits for a disk.
//
// While a preview sounds the pre-listen carries it instead of the selected deck; the mix
// never carries it.
class PreviewPlayer {
public:
    static constexpr int32_t kRingFrames = 65536;  // about 1.5 s decoded ahead

    PreviewPlayer();
    // Main thread, after the sound thread stopped. Never waits for a worker.
    ~PreviewPlayer();
    PreviewPlayer(const PreviewPlayer&) = delete;
    PreviewPlayer& operator=(const PreviewPlayer&) = delete;

    // ---- Main thread ----

    // Plays the open `reader`'s track from engine frame `from` (clamped to the track),
    // replacing any preview under way.
    void play(std::unique_ptr<TrackReader> reader, int64_t from);
    void stop();
    // A preview was started and neither stopped nor played to its end.
    bool playing() const;
    // The semaphore a sleeping sound thread waits on (null: none), released by play().
    void setWake(std::binary_semaphore* wake) { wake_.store(wake, std::memory_order_relaxed); }

    // ---- Main thread, for tests ----

    // Frames decoded and not yet taken (tests wait on it; 0 without a preview).
    int32_t buffered() const;

    // ---- Sound thread ----

    // A preview is under way and has frames still to come: the pre-listen carries it.
    bool sounding();
    // Changes with every play and stop: an output restarts its preview there.
    uint32_t generation() const { return generation_.load(std::memory_order_relaxed); }
    // Frames that take() would give now.
    int32_t available();
    // Copies up to `frames` decoded frames to `out`; the number copied.
    int32_t take(int16_t* out, int32_t frames);

private:
    struct Feed;
    // Sound thread: the feed to use this pass, announced as in use so that the main
    // thread does not free it meanwhile.
    Feed* feed();
    // Main thread: frees the retired feeds the sound thread no longer uses.
    void collect();

    std::shared_ptr<Feed> current_;
    std::vector<std::shared_ptr<Feed>> retired_;
    // The feed the main thread wants heard, and the one the sound thread uses: sequentially
    // consistent, so that a feed is freed only once the sound thread is seen off it.
    std::atomic<Feed*> wanted_{nullptr};
    std::atomic<Feed*> inUse_{nullptr};
    std::atomic<uint32_t> generation_{0};
    std::atomic<std::binary_semaphore*> wake_{nullptr};
};

}  // namespace spinlorex
