#pragma once

#include <cstdint>

namespace spinlorex {

// The desk's timers, by the ids it has always used: 149 auto-mix step (200 ms), 150/151
// history entry of deck 1/2 (40 s, once), 160 display refresh (100 ms), 190/191 pitch-reset
// glide of deck 1/2 (500 ms). The Qt desk uses Qt timers; tests and headless runs use
// VirtualTimers. Each firing calls MixingDesk::onTimer(id) on the main thread.
class DeskTimers {
public:
    static constexpr int kMixStep = 149;
    static constexpr int kHistory1 = 150;
    static constexpr int kHistory2 = 151;
    static constexpr int kDisplay = 160;
    static constexpr int kPitchReset1 = 190;
    static constexpr int kPitchReset2 = 191;

    virtual ~DeskTimers() = default;
    // (Re)starts timer `id` with the period; a running timer of that id is replaced.
    virtual void start(int id, int32_t milliseconds) = 0;
    virtual void kill(int id) = 0;
    virtual bool running(int id) const = 0;
};

}  // namespace spinlorex
