#include "library/DatabaseWriter.h"

#include <new>
#include <utility>

namespace spinlorex {

DatabaseWriter::DatabaseWriter(std::unique_ptr<DatabaseFile> file)
    : file_(std::move(file)), thread_([this] { run(); }) {}

DatabaseWriter::~DatabaseWriter() {
    {
        const std::lock_guard lock(mutex_);
        stop_ = true;
    }
    wake_.notify_one();
    thread_.join();
}

void DatabaseWriter::write(const TrackRecord* record, std::vector<unsigned char> block) {
    {
        const std::lock_guard lock(mutex_);
        auto [at, fresh] = waiting_.try_emplace(record);
        at->second = std::move(block);
        if (fresh) order_.push_back(record);
    }
    wake_.notify_one();
}

void DatabaseWriter::flush() {
    std::unique_lock lock(mutex_);
    idle_.wait(lock, [this] { return order_.empty() && !writing_; });
}

int DatabaseWriter::failures() const {
    const std::lock_guard lock(mutex_);
    return failures_;
}

void DatabaseWriter::run() {
    std::unique_lock lock(mutex_);
    for (;;) {
        wake_.wait(lock, [this] { return stop_ || !order_.empty(); });
        // Stopping still writes what is queued.
        if (order_.empty()) return;
        const TrackRecord* record = order_.front();
        order_.pop_front();
        const auto node = waiting_.extract(record);
        writing_ = true;
        lock.unlock();
        bool stored = false;
        try {
            stored = file_->writeBlock(record, node.mapped());
        } catch (const std::bad_alloc&) {
            stored = false;  // the file's map could not grow: this record stays as it was
        }
        lock.lock();
        writing_ = false;
        if (!stored) ++failures_;
        if (order_.empty()) idle_.notify_all();
    }
}

}  // namespace spinlorex
