#pragma once

#include <array>
#include <atomic>
#include <cstdint>

#include "audio/DeckLinks.h"

namespace spinlorex {

// The sound thread's messages to the desk (1068 start deck, 1069 track ended), queued
// without locks or allocation. One producer (the sound thread), one consumer (the main
// thread), delivered in the order posted.
//
// However long the main thread is held up, nothing that matters is lost: a 1068 for a
// deck that already waits in the queue is not queued again (the sound thread repeats it
// every pass near a track's end), and a 1069 that finds the queue full is counted and
// delivered after what the queue holds.
class DeskMessageQueue : public DeskNotifier {
public:
    struct Message {
        int message;
        int deck;
    };

    // Sound thread. After queueing, `wake()` runs (the Qt desk writes to an eventfd there).
    void post(int message, int deck) override;
    // Main thread: the oldest message, if any.
    bool take(Message& out);

protected:
    virtual void wake() {}

private:
    static constexpr uint32_t kCapacity = 64;
    bool push(const Message& message);

    std::array<Message, kCapacity> slots_{};
    std::atomic<uint32_t> head_{0};                         // next to write (producer)
    std::atomic<uint32_t> tail_{0};                         // next to read (consumer)
    std::array<std::atomic<bool>, 2> startQueued_{};        // a 1068 per deck waits in the queue
    std::array<std::atomic<uint32_t>, 2> endedOverflow_{};  // 1069s that found the queue full
};

}  // namespace spinlorex
