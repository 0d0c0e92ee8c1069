#pragma once

#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

namespace spinlorex {

// A thread that its owner can leave behind. A read from a hung network share or a disk
// that never answers blocks in the kernel, where nothing can stop it; a program that
// joins such a thread at its close hangs with it. joinWithin() waits a bounded time and
// then lets the thread go (detached): the process's end takes it with it.
//
// The body must therefore own (or share through std::shared_ptr) everything it touches
// after its owner may have left it: never a reference to an object of the owner.
//
// Owner's thread only (construction, joinWithin, destruction).
class LeavableThread {
public:
    LeavableThread() = default;
    explicit LeavableThread(std::function<void()> body);
    // Joins a thread that has finished; one still running is left behind.
    ~LeavableThread();
    LeavableThread(LeavableThread&&) noexcept = default;
    LeavableThread& operator=(LeavableThread&& other) noexcept;
    LeavableThread(const LeavableThread&) = delete;
    LeavableThread& operator=(const LeavableThread&) = delete;

    // Waits up to `limit` for the body to return and joins the thread: true. A body
    // still running then is left behind: false. True also without a thread.
    bool joinWithin(std::chrono::milliseconds limit);
    // The body has returned (any thread).
    bool finished() const;
    bool running() const { return thread_.joinable(); }

private:
    struct End {
        mutable std::mutex mutex;
        std::condition_variable done;
        bool finished = false;
    };
    std::shared_ptr<End> end_;
    std::thread thread_;
};

}  // namespace spinlorex
