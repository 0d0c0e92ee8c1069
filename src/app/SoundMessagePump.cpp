#include "app/SoundMessagePump.h"

#include <sys/eventfd.h>
#include <unistd.h>

#include <QtCore/QSocketNotifier>

namespace spinlorex {

SoundMessagePump::SoundMessagePump(std::function<void(const Message&)> deliver)
    : deliver_(std::move(deliver)), eventFd_(::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC)) {
    if (eventFd_ >= 0) {
        notifier_ = std::make_unique<QSocketNotifier>(eventFd_, QSocketNotifier::Read);
        QObject::connect(notifier_.get(), &QSocketNotifier::activated, this, [this] {
            uint64_t count = 0;
            [[maybe_unused]] const ssize_t r = ::read(eventFd_, &count, sizeof count);
            drain();
        });
    }
}

SoundMessagePump::~SoundMessagePump() {
    notifier_.reset();
    if (eventFd_ >= 0) ::close(eventFd_);
}

void SoundMessagePump::wake() {
    // A system call, but neither a lock nor an allocation: fine on the sound thread.
    if (eventFd_ >= 0) {
        const uint64_t one = 1;
        [[maybe_unused]] const ssize_t r = ::write(eventFd_, &one, sizeof one);
    }
}

void SoundMessagePump::drain() {
    Message message{};
    while (take(message)) deliver_(message);
}

}  // namespace spinlorex
