#pragma once

#include <QtCore/QObject>

#include <functional>
#include <memory>

#include "desk/DeskMessages.h"

class QSocketNotifier;

namespace spinlorex {

// Carries the sound thread's messages (start a deck, a track ended) to the main thread:
// the sound thread queues them without locks and writes to an eventfd; the main thread's
// event loop wakes on it and hands each message, in order, to `deliver`.
class SoundMessagePump : public QObject, public DeskMessageQueue {
public:
    explicit SoundMessagePump(std::function<void(const Message&)> deliver);
    ~SoundMessagePump() override;

    // Hands over every queued message now (also used when the loop is not running).
    void drain();

protected:
    void wake() override;

private:
    std::function<void(const Message&)> deliver_;
    int eventFd_ = -1;
    std::unique_ptr<QSocketNotifier> notifier_;
};

}  // namespace spinlorex
