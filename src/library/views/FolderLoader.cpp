#include "library/views/FolderLoader.h"

#include <QtCore/QMetaObject>

namespace spinlorex {

FolderLoader::FolderLoader(Done done) : done_(std::move(done)), thread_([this] { run(); }) {}

FolderLoader::~FolderLoader() {
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
        next_.reset();
    }
    wake_.notify_one();
    thread_.join();
}

void FolderLoader::request(const std::string& folder) {
    {
        std::lock_guard lock(mutex_);
        next_ = std::pair{++asked_, folder};
    }
    wake_.notify_one();
}

void FolderLoader::run() {
    for (;;) {
        std::pair<uint64_t, std::string> job;
        {
            std::unique_lock lock(mutex_);
            wake_.wait(lock, [this] { return stopping_ || next_.has_value(); });
            if (stopping_) return;
            job = std::move(*next_);
            next_.reset();
        }
        std::vector<FolderItem> items = listFolderFiles(job.second);
        // Queued to the main thread; dropped there if the loader is gone by then.
        QMetaObject::invokeMethod(
            &context_,
            [this, ticket = job.first, items = std::move(items)]() mutable {
                deliver(ticket, std::move(items));
            },
            Qt::QueuedConnection);
    }
}

void FolderLoader::deliver(uint64_t ticket, std::vector<FolderItem> items) {
    if (ticket != asked_) return;  // a newer folder was asked for meanwhile
    answered_ = ticket;
    done_(std::move(items));
}

}  // namespace spinlorex
