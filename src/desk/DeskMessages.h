#pragma once

#include <array>
#include <atomic>
#include <cstdint>

#include "audio/DeckLinks.h"

namespace spinlorex {

// The sound thread's messages to the desk (1068 start deck, 1069 track ended), queued
// without locks or allocation. One producer (the sound thread), one consumer (the main
// thread). A full queue drops the newest message: both messages are repeated or harmless.
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
    std::array<Message, kCapacity> slots_{};
    std::atomic<uint32_t> head_{0};  // next to write (producer)
    std::atomic<uint32_t> tail_{0};  // next to read (consumer)
};

}  // namespace spinlorex
