#pragma once

#include <QtCore/QMetaObject>
#include <QtCore/QObject>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <utility>
#include <vector>

#include "platform/core/LeavableThread.h"

namespace spinlorex {

// Reads of the disk for the files browser, each on a thread of its own, their answers
// handed to the main thread through its event loop. A read that never returns (a hung
// mount, a FIFO, a disk that does not wake) holds up neither the main thread nor the
// reads asked after it, and the owner's end leaves it behind after a short wait.
//
// A read's thread touches only what it owns and the shared mailbox: never the owner, which
// may be gone while the read still waits in the kernel. At most kMaxRunning reads run at
// once (reads stuck on a hung disk should not pile up threads without end); later ones
// wait for a free place.
//
// Main thread only; `answered` runs on the main thread, never after the owner is gone.
template <class Answer>
class FolderReads {
public:
    // Called on the read's thread: hands one answer to the main thread (several per read
    // are fine; they arrive in order).
    using Reply = std::function<void(Answer)>;
    using Read = std::function<void(const Reply& reply)>;
    using Answered = std::function<void(uint64_t read, Answer answer)>;

    static constexpr int kMaxRunning = 8;
    static constexpr std::chrono::milliseconds kCloseWait{200};

    explicit FolderReads(Answered answered)
        : answered_(std::move(answered)), mailbox_(std::make_shared<Mailbox>()) {
        mailbox_->owner = this;
        mailbox_->inbox = &inbox_;
    }
    // Waits kCloseWait at most for the reads still running, then leaves them behind.
    ~FolderReads() {
        {
            std::lock_guard lock(mailbox_->mutex);
            mailbox_->owner = nullptr;
        }
        const auto deadline = std::chrono::steady_clock::now() + kCloseWait;
        for (LeavableThread& thread : threads_) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                deadline - std::chrono::steady_clock::now());
            thread.joinWithin(std::max(left, std::chrono::milliseconds(0)));
        }
    }
    FolderReads(const FolderReads&) = delete;
    FolderReads& operator=(const FolderReads&) = delete;

    // Starts `read` (or queues it while kMaxRunning reads run); returns its number, which
    // its answers carry.
    uint64_t start(Read read) {
        const uint64_t id = ++lastId_;
        waiting_.emplace_back(id, std::move(read));
        startWaiting();
        return id;
    }
    // Reads not started yet are dropped.
    void dropWaiting() { waiting_.clear(); }
    // Reads run or wait.
    bool busy() const { return running_ > 0 || !waiting_.empty(); }

private:
    struct Mailbox {
        std::mutex mutex;
        FolderReads* owner = nullptr;  // null once the owner is gone
        QObject* inbox = nullptr;      // the owner's, lives as long as `owner` is set
    };

    // Read's thread. The owner is only named here, never touched: the queued call runs on
    // the main thread, and only while the inbox (and so the owner) lives.
    template <class Call>
    static void post(Mailbox& mailbox, Call call) {
        std::lock_guard lock(mailbox.mutex);
        if (mailbox.owner == nullptr) return;
        QMetaObject::invokeMethod(
            mailbox.inbox,
            [owner = mailbox.owner, call = std::move(call)]() mutable { call(*owner); },
            Qt::QueuedConnection);
    }

    void startWaiting() {
        while (running_ < kMaxRunning && !waiting_.empty()) {
            auto [id, read] = std::move(waiting_.front());
            waiting_.pop_front();
            ++running_;
            threads_.emplace_back([mailbox = mailbox_, id = id, read = std::move(read)] {
                const Reply reply = [&mailbox, id](Answer answer) {
                    post(*mailbox, [id, answer = std::move(answer)](FolderReads& owner) mutable {
                        owner.answered_(id, std::move(answer));
                    });
                };
                read(reply);
                post(*mailbox, [](FolderReads& owner) { owner.ended(); });
            });
        }
    }

    void ended() {
        --running_;
        std::erase_if(threads_, [](LeavableThread& thread) {
            return thread.finished() && thread.joinWithin(std::chrono::milliseconds(0));
        });
        startWaiting();
    }

    Answered answered_;
    QObject inbox_;
    std::shared_ptr<Mailbox> mailbox_;
    std::deque<std::pair<uint64_t, Read>> waiting_;
    std::vector<LeavableThread> threads_;
    int running_ = 0;
    uint64_t lastId_ = 0;
};

}  // namespace spinlorex
