#include "desk/DeskMessages.h"

namespace spinlorex {

void DeskMessageQueue::post(int message, int deck) {
    const uint32_t head = head_.load(std::memory_order_relaxed);
    if (head - tail_.load(std::memory_order_acquire) >= kCapacity) return;  // full
    slots_[head % kCapacity] = Message{message, deck};
    head_.store(head + 1, std::memory_order_release);
    wake();
}

bool DeskMessageQueue::take(Message& out) {
    const uint32_t tail = tail_.load(std::memory_order_relaxed);
    if (tail == head_.load(std::memory_order_acquire)) return false;
    out = slots_[tail % kCapacity];
    tail_.store(tail + 1, std::memory_order_release);
    return true;
}

}  // namespace spinlorex
