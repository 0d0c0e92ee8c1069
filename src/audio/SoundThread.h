#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <semaphore>
#include <thread>

namespace spinlorex {

class DeckPair;
class OutputDevice;

// The loop that drives everything audible: each pass lets the output device read its
// cursors, lets deck 1 and deck 2 serve a request or render, lets the output device copy
// or mix what they produced, then pauses. Tests and offline tools may step it by hand
// with runPass() instead of starting the thread.
class SoundThread {
public:
    SoundThread(OutputDevice& output, DeckPair& decks);
    ~SoundThread();
    SoundThread(const SoundThread&) = delete;
    SoundThread& operator=(const SoundThread&) = delete;

    // Main thread. `pause` between passes: 1 ms for a real device; zero runs passes back to
    // back (offline rendering as fast as the machine allows). Asks for real-time scheduling
    // when `realTime` is set and carries on without it when refused. False when the thread
    // cannot be created.
    bool start(std::chrono::microseconds pause, bool realTime);
    // Main thread: sets the stop flag and joins. Safe when not running.
    void stop();
    bool running() const { return thread_.joinable(); }

    // One pass, on the calling thread (which then is the sound thread). True when a deck
    // had something to do.
    bool runPass();
    // Passes run so far (any thread).
    uint64_t passCount() const { return passes_.load(std::memory_order_acquire); }
    // Any thread: a thread asleep with nothing to do runs passes again (for a while).
    void wake();

private:
    void loop(std::chrono::microseconds pause);

    OutputDevice& output_;
    DeckPair& decks_;
    std::thread thread_;
    std::atomic<bool> stopRequested_{false};
    std::atomic<uint64_t> passes_{0};
    std::atomic<bool> nudged_{false};  // wake() was called since the last pass
    // The thread rests on this between passes, and sleeps on it while no deck plays and none
    // had anything to do for a while; a deck's request, a recorder attached and wake()
    // release it.
    std::binary_semaphore wake_{0};
};

}  // namespace spinlorex
