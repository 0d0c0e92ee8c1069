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
    thread_.join();
}

void SoundThread::runPass() {
    output_.beginPass();
    decks_[0].serviceDeck();
    decks_[1].serviceDeck();
    output_.endPass();
    passes_.fetch_add(1, std::memory_order_release);
}

void SoundThread::loop(std::chrono::microseconds pause) {
    while (!stopRequested_.load(std::memory_order_relaxed)) {
        runPass();
        if (pause.count() > 0) std::this_thread::sleep_for(pause);
    }
}

}  // namespace spinlorex
