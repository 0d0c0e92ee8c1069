#pragma once

// The mixing that every backend shares: a device's buffers, their cursors, and the sum of
// the playing ones at their volumes. Internal to platform/sound.

#include <array>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>
#include <thread>

#include "platform/sound/SoundSystem.h"

namespace spinlorex::sound {

// A fixed set of pointers that one thread walks without locking while others add and
// remove entries. remove() returns only once no walk can still see the entry, so the
// caller may free it afterwards. Only one thread may walk at a time.
template <typename T, int N>
class SlotList {
public:
    bool add(T* item) {
        for (auto& slot : slots_) {
            T* expected = nullptr;
            if (slot.compare_exchange_strong(expected, item)) return true;
        }
        return false;
    }

    void remove(T* item) {
        for (auto& slot : slots_) {
            T* expected = item;
            slot.compare_exchange_strong(expected, nullptr);
        }
        // A walk that started before the slot was cleared may still hold the pointer; an
        // odd count means one runs. Walks never block, so this wait is short.
        const uint64_t seen = walks_.load();
        if ((seen & 1) != 0)
            while (walks_.load() == seen) std::this_thread::yield();
    }

    template <typename F>
    void forEach(F&& f) {
        walks_.fetch_add(1);
        for (auto& slot : slots_)
            if (T* item = slot.load()) f(*item);
        walks_.fetch_add(1);
    }

private:
    // Sequentially consistent throughout: remove() must see a walk that could have read
    // the slot before it was cleared.
    std::array<std::atomic<T*>, N> slots_{};
    std::atomic<uint64_t> walks_{0};
};

// The mixer reads a buffer in chunks of at most this many frames and publishes its new
// position after each: a writer never writing closer than this ahead of the published
// position never touches what is being read.
inline constexpr int32_t kMixChunkFrames = 256;

// Linear gain in 1/65536 from a volume in hundredths of a decibel: 10^(v/2000), with
// -10000 and below exactly 0 and 0 and above exactly 65536.
int32_t gainFromHundredthsDb(int32_t hundredthsOfDb);

class MixBuffer;

// One device's mixing state, shared by the device and its buffers so that either may go
// first.
class MixerCore {
public:
    // writeLead: how far the write cursor runs ahead of the mixing position (null backend).
    // channels: of the device's output, 2 .. kMaxChannels.
    MixerCore(int32_t writeLead, int32_t channels);

    // The mixing thread: sums `frames` frames of every playing buffer into `out`
    // (interleaved, channels() samples a frame), each buffer on the channels of its route,
    // and moves their cursors. Never allocates, locks or waits.
    void mix(int16_t* out, int32_t frames);
    int32_t channels() const { return channels_; }

    // How far the play cursor trails the mixing position at most (the output latency of
    // a real device). Set before any buffer plays.
    void setPlayLag(int32_t frames) { playLag_.store(frames, std::memory_order_relaxed); }
    int32_t playLag() const { return playLag_.load(std::memory_order_relaxed); }
    int32_t writeLead() const { return writeLead_; }

    // The device stopped for good (closed, vanished, or its stream failed).
    void setLost() { lost_.store(true, std::memory_order_relaxed); }
    // False once lost, or when a watchdog is set and mixing has stalled for that long.
    bool alive();
    // A real device whose callback stops coming without an error is as good as lost.
    void setWatchdog(std::chrono::milliseconds stall);

    SlotList<MixBuffer, kMaxBuffersPerDevice>& buffers() { return buffers_; }

private:
    static int64_t nowNanos();

    static constexpr int32_t kChunk = kMixChunkFrames;
    SlotList<MixBuffer, kMaxBuffersPerDevice> buffers_;
    std::array<int64_t, kMaxChannels * kChunk> acc_{};
    const int32_t writeLead_;
    const int32_t channels_;
    std::atomic<int32_t> playLag_{0};
    std::atomic<bool> lost_{false};
    std::atomic<int64_t> stallNanos_{0};  // 0: no watchdog
    std::atomic<int64_t> lastMixNanos_{0};
};

std::unique_ptr<SoundBuffer> createMixBuffer(const std::shared_ptr<MixerCore>& core, int32_t frames,
                                             SoundError& error);

}  // namespace spinlorex::sound
