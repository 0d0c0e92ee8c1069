#pragma once

#include <cstdint>
#include <functional>
#include <vector>

#include "desk/DeskTimers.h"

namespace spinlorex {

// The desk's timers on virtual time, for tests and headless runs: nothing fires until
// advance() moves the clock, and then every due timer fires in time order on the calling
// thread. Periods repeat until the timer is killed (the desk kills its one-shot timers
// itself). Main thread only; the callback may start and kill timers, but must not call
// advance().
class VirtualTimers : public DeskTimers {
public:
    using Callback = std::function<void(int id)>;

    VirtualTimers() = default;
    explicit VirtualTimers(Callback callback) : callback_(std::move(callback)) {}
    // Usually the desk's onTimer.
    void setCallback(Callback callback) { callback_ = std::move(callback); }

    void start(int id, int32_t milliseconds) override;
    void kill(int id) override;
    bool running(int id) const override;

    // Moves the clock on by `milliseconds`, firing each timer as often as it falls due.
    // Timers due at the same moment fire in the order in which they were started.
    void advance(int64_t milliseconds);
    // Milliseconds of virtual time since construction.
    int64_t now() const { return now_; }
    // The period of a running timer, 0 when it does not run.
    int32_t period(int id) const;

private:
    struct Timer {
        int id;
        int32_t period;
        int64_t due;
        uint64_t order;  // start order, for timers due together
    };
    const Timer* find(int id) const;

    Callback callback_;
    std::vector<Timer> timers_;
    int64_t now_ = 0;
    uint64_t started_ = 0;
    bool advancing_ = false;
};

}  // namespace spinlorex
