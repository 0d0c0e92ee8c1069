#include "library/TrackStore.h"

#include <cstdio>
#include <functional>
#include <new>
#include <utility>
#include <vector>

#include "library/TrackRecord.h"
#include "library/TrackStoreFile.h"

namespace spinlorex {

TrackStore::~TrackStore() { close(); }

void TrackStore::open(const std::string& folder, Listener* listener) {
    close();
    shared_ = std::make_shared<Shared>();
    shared_->listener = listener;
    state_ = State::Opening;
    thread_ = LeavableThread([shared = shared_, folder] { run(shared, folder); });
}

bool TrackStore::takeLoaded() {
    if (!shared_ || taken_) return false;
    GridMap loaded;
    HotCueMap loadedCues;
    {
        const std::lock_guard lock(shared_->mutex);
        if (!shared_->loaded) return false;
        loaded.swap(shared_->grids);
        loadedCues.swap(shared_->hotCues);
        state_ = shared_->state;
        notice_ = shared_->notice;
        rebuilt_ = shared_->rebuilt;
    }
    taken_ = true;
    // Grids handed in since the open are newer than the file's.
    for (const auto& [key, grid] : grids_) loaded.insert_or_assign(key, grid);
    grids_.swap(loaded);
    for (const auto& [key, cues] : hotCues_) loadedCues.insert_or_assign(key, cues);
    hotCues_.swap(loadedCues);
    return true;
}

std::shared_ptr<const HotCueSet> TrackStore::hotCues(std::string_view name,
                                                     uint32_t fileSize) const {
    const auto found = hotCues_.find(TrackKeyView{name, fileSize});
    return found == hotCues_.end() ? nullptr : found->second;
}

void TrackStore::putHotCues(std::string_view path, uint32_t fileSize,
                            std::shared_ptr<const HotCueSet> cues) {
    if (!cues) cues = std::make_shared<const HotCueSet>();
    TrackKey key{std::string(trackRecordName(path)), fileSize};
    hotCues_.insert_or_assign(key, cues);
    queue(std::move(key), path, [&cues](Waiting& w) { w.hotCues = std::move(cues); });
}

void TrackStore::queue(TrackKey key, std::string_view path,
                       const std::function<void(Waiting&)>& fill) {
    if (!shared_) return;
    {
        const std::lock_guard lock(shared_->mutex);
        Waiting& waiting = shared_->waiting[std::move(key)];
        waiting.path.assign(path);
        fill(waiting);
    }
    shared_->wake.notify_one();
}

std::shared_ptr<const BeatGrid> TrackStore::grid(std::string_view name, uint32_t fileSize) const {
    const auto found = grids_.find(TrackKeyView{name, fileSize});
    return found == grids_.end() ? nullptr : found->second;
}

void TrackStore::fill(TrackRecord& record) const {
    if (!record.hotCues) record.hotCues = hotCues(record.name, record.fileSize);
    if (record.grid) return;
    if (auto found = grid(record.name, record.fileSize)) attachGrid(record, std::move(found));
}

void TrackStore::putGrid(std::string_view path, uint32_t fileSize,
                         std::shared_ptr<const BeatGrid> grid) {
    if (!grid) return;
    TrackKey key{std::string(trackRecordName(path)), fileSize};
    grids_.insert_or_assign(key, grid);
    queue(std::move(key), path, [&grid](Waiting& w) { w.grid = std::move(grid); });
}

void TrackStore::putWaveform(std::string_view path, uint32_t fileSize,
                             std::shared_ptr<const WaveformSummary> summary) {
    if (!summary) return;
    queue(TrackKey{std::string(trackRecordName(path)), fileSize}, path,
          [&summary](Waiting& w) { w.waveform = std::move(summary); });
}

TrackStore::TagWriter TrackStore::tagWriter() const {
    TagWriter writer;
    writer.shared_ = shared_;
    return writer;
}

void TrackStore::TagWriter::put(TagsWrite tags) const {
    const std::shared_ptr<Shared> shared = shared_.lock();
    if (!shared) return;
    {
        const std::lock_guard lock(shared->mutex);
        if (shared->stop) return;
        std::string path = tags.path;
        shared->tagsWaiting.insert_or_assign(std::move(path), std::move(tags));
    }
    shared->wake.notify_one();
}

void TrackStore::requestWaveform(std::string_view name, uint32_t fileSize) {
    if (!shared_) return;
    {
        const std::lock_guard lock(shared_->mutex);
        shared_->reads.push_back(TrackKey{std::string(name), fileSize});
    }
    shared_->wake.notify_one();
}

std::vector<TrackStore::WaveformRead> TrackStore::takeWaveforms() {
    std::vector<WaveformRead> done;
    if (!shared_) return done;
    const std::lock_guard lock(shared_->mutex);
    done.swap(shared_->readsDone);
    return done;
}

void TrackStore::flush() {
    if (!shared_) return;
    Shared& s = *shared_;
    std::unique_lock lock(s.mutex);
    s.idle.wait(lock, [&s] {
        return s.opened && s.waiting.empty() && s.tagsWaiting.empty() && s.reads.empty() &&
               !s.writing;
    });
}

bool TrackStore::close(std::chrono::milliseconds limit) {
    if (!shared_) return true;
    {
        const std::lock_guard lock(shared_->mutex);
        shared_->listener = nullptr;
        shared_->stop = true;
    }
    shared_->wake.notify_one();
    const bool joined = thread_.joinWithin(limit);
    shared_.reset();
    grids_.clear();
    hotCues_.clear();
    taken_ = false;
    state_ = State::Closed;
    return joined;
}

uint64_t TrackStore::rowsWritten() const {
    return shared_ ? shared_->rows.load(std::memory_order_relaxed) : 0;
}

int TrackStore::failures() const {
    if (!shared_) return 0;
    const std::lock_guard lock(shared_->mutex);
    return shared_->failures;
}

void TrackStore::run(const std::shared_ptr<Shared>& shared, const std::string& folder) {
    Shared& s = *shared;
    TrackStoreFile::Opening opening = TrackStoreFile::open(folder);
    if (!opening.notice.empty()) std::fprintf(stderr, "spinlorex: %s\n", opening.notice.c_str());
    if (opening.unreadable > 0)
        std::fprintf(stderr, "spinlorex: %zu beat grids of the track store could not be read\n",
                     opening.unreadable);
    const std::unique_ptr<TrackStoreFile> file = std::move(opening.file);

    std::unique_lock lock(s.mutex);
    s.grids = std::move(opening.grids);
    s.hotCues = std::move(opening.hotCues);
    s.state = file ? State::Stored : State::MemoryOnly;
    s.notice = std::move(opening.notice);
    s.rebuilt = opening.setAside;
    s.loaded = true;
    s.opened = true;
    if (s.listener != nullptr) s.listener->storeLoaded();
    if (s.waiting.empty() && s.tagsWaiting.empty()) s.idle.notify_all();

    std::vector<GridWrite> batch;
    std::vector<TagsWrite> tags;
    auto nothingWaits = [&s] { return s.waiting.empty() && s.tagsWaiting.empty(); };
    for (;;) {
        s.wake.wait(lock, [&] { return s.stop || !nothingWaits() || !s.reads.empty(); });
        // Reads once what was handed in before them is written (a summary just made is
        // found); they end with a stop.
        if (!s.reads.empty() && nothingWaits() && !s.stop) {
            std::vector<TrackKey> reads;
            reads.swap(s.reads);
            s.writing = true;
            lock.unlock();
            std::vector<WaveformRead> answers;
            for (TrackKey& key : reads) {
                std::shared_ptr<const WaveformSummary> summary;
                if (file) {
                    try {
                        summary = file->readWaveform(key);
                    } catch (const std::bad_alloc&) {
                        summary = nullptr;
                    }
                }
                answers.push_back({std::move(key), std::move(summary)});
            }
            lock.lock();
            s.writing = false;
            for (WaveformRead& answer : answers) s.readsDone.push_back(std::move(answer));
            if (s.listener != nullptr) s.listener->waveformsRead();
            if (nothingWaits() && s.reads.empty()) s.idle.notify_all();
            continue;
        }
        if (s.stop) s.reads.clear();
        // Stopping still writes what waits.
        if (nothingWaits()) {
            if (s.stop) return;
            continue;
        }
        batch.clear();
        batch.reserve(s.waiting.size());
        for (auto& [key, waiting] : s.waiting)
            batch.push_back({key, std::move(waiting.path), std::move(waiting.grid),
                             std::move(waiting.waveform), std::move(waiting.hotCues)});
        s.waiting.clear();
        tags.clear();
        tags.reserve(s.tagsWaiting.size());
        for (auto& [path, write] : s.tagsWaiting) tags.push_back(std::move(write));
        s.tagsWaiting.clear();
        s.writing = true;
        lock.unlock();
        bool stored = false;
        if (file) {
            try {
                stored = file->write(batch, tags);
            } catch (const std::bad_alloc&) {
                stored = false;
            }
        }
        lock.lock();
        s.writing = false;
        if (stored)
            s.rows.fetch_add(batch.size(), std::memory_order_relaxed);
        else if (file)
            ++s.failures;
        if (nothingWaits() && s.reads.empty()) s.idle.notify_all();
    }
}

}  // namespace spinlorex
