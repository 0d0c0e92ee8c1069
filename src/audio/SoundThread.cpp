#include "audio/SoundThread.h"

#include <pthread.h>
#include <sched.h>

#include <system_error>

#include "audio/DeckPair.h"
#include "audio/OutputDevice.h"

namespace spinlorex {

SoundThread::SoundThread(OutputDevice& output, DeckPair& decks) : output_(output), decks_(decks) {}

SoundThread::~SoundThread() { stop(); }

bool SoundThread::start(std::chrono::microseconds pause, bool realTime) {
    if (thread_.joinable()) return true;
    decks_.setWake(&wake_);
    output_.setWake(&wake_);
    stopRequested_.store(false, std::memory_order_relaxed);
    try {
        thread_ = std::thread([this, pause] { loop(pause); });
    } catch (const std::system_error&) {
        return false;
    }
    if (realTime) {
        // Refused without the privilege (the usual case for a desktop user): the thread
        // keeps normal scheduling.
        sched_param param{};
        param.sched_priority = sched_get_priority_max(SCHED_FIFO) / 2;
        pthread_setschedparam(thread_.native_handle(), SCHED_FIFO, &param);
    }
    return true;
}

void SoundThread::stop() {
    if (!thread_.joinable()) return;
    stopRequested_.store(true, std::memory_order_relaxed);
    wake_.release();
    thread_.join();
    decks_.setWake(nullptr);
    output_.setWake(nullptr);
}

void SoundThread::wake() {
    nudged_.store(true, std::memory_order_relaxed);
    wake_.release();
}

bool SoundThread::runPass() {
    output_.beginPass();
    decks_.beginPass();
    const bool first = decks_[0].serviceDeck();
    const bool second = decks_[1].serviceDeck();
    output_.endPass();
    passes_.fetch_add(1, std::memory_order_release);
    return first || second;
}

void SoundThread::loop(std::chrono::microseconds pause) {
    // Two seconds of passes with nothing to do (the output has written its silence by
    // then): the thread sleeps until a request, a recording or wake() comes. A recording
    // takes the silence too, so while one runs the thread only rests ten times longer.
    constexpr int kIdlePassesBeforeRest = 2000;
    constexpr auto kRecordingRest = std::chrono::milliseconds(10);
    int idlePasses = 0;
    while (!stopRequested_.load(std::memory_order_relaxed)) {
        const bool worked = runPass();
        const bool nudged = nudged_.exchange(false, std::memory_order_relaxed);
        if (worked || nudged || decks_[0].playing() || decks_[1].playing() ||
            decks_.preview().sounding())
            idlePasses = 0;
        else if (idlePasses < kIdlePassesBeforeRest)
            ++idlePasses;
        if (pause.count() == 0) continue;
        if (idlePasses < kIdlePassesBeforeRest)
            // A deck's request cuts the rest short: it is served at once, not a pass later.
            (void)wake_.try_acquire_for(pause);
        else if (output_.recording())
            (void)wake_.try_acquire_for(kRecordingRest);
        else
            wake_.acquire();
    }
}

}  // namespace spinlorex
