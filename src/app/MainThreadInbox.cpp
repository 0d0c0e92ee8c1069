#include "app/MainThreadInbox.h"

#include <mutex>

namespace spinlorex {

// The queued calls' target, closed when the inbox goes.
struct MainThreadInbox::Door {
    std::mutex mutex;
    std::unique_ptr<QObject> context = std::make_unique<QObject>();

    void post(Call call) {
        std::lock_guard lock(mutex);
        if (!context) return;
        // Queued calls still waiting when the context is deleted are dropped with it.
        QMetaObject::invokeMethod(context.get(), std::move(call), Qt::QueuedConnection);
    }
};

MainThreadInbox::MainThreadInbox() : door_(std::make_shared<Door>()) {}

MainThreadInbox::~MainThreadInbox() {
    std::unique_ptr<QObject> context;
    {
        std::lock_guard lock(door_->mutex);
        context = std::move(door_->context);
    }
}

void MainThreadInbox::post(Call call) const { door_->post(std::move(call)); }

MainThreadInbox::Poster MainThreadInbox::poster() const {
    return [door = door_](Call call) { door->post(std::move(call)); };
}

}  // namespace spinlorex
