#include "desk/DeskMessages.h"

namespace spinlorex {

bool DeskMessageQueue::push(const Message& message) {
    const uint32_t head = head_.load(std::memory_order_relaxed);
    if (head - tail_.load(std::memory_order_acquire) >= kCapacity) return false;
    slots_[head % kCapacity] = message;
    head_.store(head + 1, std::memory_order_release);
    return true;
}

void DeskMessageQueue::post(int message, int deck) {
    const bool knownDeck = deck == 0 || deck == 1;
    const auto d = static_cast<size_t>(deck & 1);
    if (message == kMessageStartDeck && knownDeck &&
        startQueued_[d].exchange(true, std::memory_order_acq_rel))
        return;  // one is already on its way
    if (!push(Message{message, deck})) {
        if (message == kMessageTrackEnded && knownDeck)
            endedOverflow_[d].fetch_add(1, std::memory_order_release);
        else if (message == kMessageStartDeck && knownDeck)
            startQueued_[d].store(false, std::memory_order_release);  // the next repeat tries again
    }
    wake();
}

bool DeskMessageQueue::take(Message& out) {
    const uint32_t tail = tail_.load(std::memory_order_relaxed);
    if (tail != head_.load(std::memory_order_acquire)) {
        out = slots_[tail % kCapacity];
        tail_.store(tail + 1, std::memory_order_release);
        if (out.message == kMessageStartDeck && (out.deck == 0 || out.deck == 1))
            startQueued_[static_cast<size_t>(out.deck)].store(false, std::memory_order_release);
        return true;
    }
    for (int d = 0; d < 2; ++d) {
        std::atomic<uint32_t>& overflow = endedOverflow_[static_cast<size_t>(d)];
        uint32_t count = overflow.load(std::memory_order_acquire);
        while (count > 0 &&
               !overflow.compare_exchange_weak(count, count - 1, std::memory_order_acq_rel)) {}
        if (count > 0) {
            out = Message{kMessageTrackEnded, d};
            return true;
        }
    }
    return false;
}

}  // namespace spinlorex
