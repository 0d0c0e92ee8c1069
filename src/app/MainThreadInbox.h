#pragma once

#include <QtCore/QObject>

#include <functional>
#include <memory>

namespace spinlorex {

// Work that a worker thread hands to the main thread: post() from any thread queues a call
// on the main thread's event loop. Calls that would run after the inbox is gone are
// dropped, also when the worker posts them later (a thread left stuck on a hung disk may
// answer long after the desk closed), so a posted call may safely use what the inbox's
// owner owns.
class MainThreadInbox {
public:
    using Call = std::function<void()>;
    using Poster = std::function<void(Call)>;

    // Main thread.
    MainThreadInbox();
    ~MainThreadInbox();
    MainThreadInbox(const MainThreadInbox&) = delete;
    MainThreadInbox& operator=(const MainThreadInbox&) = delete;

    // Any thread.
    void post(Call call) const;
    // What a worker keeps to post with; it may outlive the inbox.
    Poster poster() const;

private:
    struct Door;
    std::shared_ptr<Door> door_;
};

}  // namespace spinlorex
