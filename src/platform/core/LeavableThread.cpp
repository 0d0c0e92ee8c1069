#include "platform/core/LeavableThread.h"

#include <utility>

namespace spinlorex {

LeavableThread::LeavableThread(std::function<void()> body) : end_(std::make_shared<End>()) {
    thread_ = std::thread([end = end_, body = std::move(body)] {
        body();
        std::lock_guard lock(end->mutex);
        end->finished = true;
        end->done.notify_all();
    });
}

LeavableThread::~LeavableThread() { joinWithin(std::chrono::milliseconds(0)); }

LeavableThread& LeavableThread::operator=(LeavableThread&& other) noexcept {
    if (this != &other) {
        joinWithin(std::chrono::milliseconds(0));
        end_ = std::move(other.end_);
        thread_ = std::move(other.thread_);
    }
    return *this;
}

bool LeavableThread::joinWithin(std::chrono::milliseconds limit) {
    if (!thread_.joinable()) return true;
    bool finished = false;
    {
        std::unique_lock lock(end_->mutex);
        finished = end_->done.wait_for(lock, limit, [this] { return end_->finished; });
    }
    if (finished)
        thread_.join();
    else
        thread_.detach();
    end_.reset();
    return finished;
}

bool LeavableThread::finished() const {
    if (!end_) return true;
    std::lock_guard lock(end_->mutex);
    return end_->finished;
}

}  // namespace spinlorex
