#include "desk/VirtualTimers.h"

#include <algorithm>

namespace spinlorex {

void VirtualTimers::start(int id, int32_t milliseconds) {
    kill(id);
    // A period below 1 ms would fire without end within one advance.
    const int32_t period = std::max<int32_t>(milliseconds, 1);
    timers_.push_back(Timer{id, period, now_ + period, ++started_});
}

void VirtualTimers::kill(int id) {
    std::erase_if(timers_, [id](const Timer& t) { return t.id == id; });
}

const VirtualTimers::Timer* VirtualTimers::find(int id) const {
    const auto it =
        std::find_if(timers_.begin(), timers_.end(), [id](const Timer& t) { return t.id == id; });
    return it != timers_.end() ? &*it : nullptr;
}

bool VirtualTimers::running(int id) const { return find(id) != nullptr; }

int32_t VirtualTimers::period(int id) const {
    const Timer* t = find(id);
    return t != nullptr ? t->period : 0;
}

void VirtualTimers::advance(int64_t milliseconds) {
    if (advancing_ || milliseconds < 0) return;
    advancing_ = true;
    const int64_t end = now_ + milliseconds;
    for (;;) {
        // The earliest due timer; the callback may have changed the set since the last one.
        auto next = timers_.end();
        for (auto it = timers_.begin(); it != timers_.end(); ++it) {
            if (it->due > end) continue;
            if (next == timers_.end() || it->due < next->due ||
                (it->due == next->due && it->order < next->order))
                next = it;
        }
        if (next == timers_.end()) break;
        now_ = next->due;
        next->due += next->period;
        const int id = next->id;
        if (callback_) callback_(id);
    }
    now_ = end;
    advancing_ = false;
}

}  // namespace spinlorex
