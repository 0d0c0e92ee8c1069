#include "library/TagCache.h"

#include <sqlite3.h>
#include <sys/stat.h>

#include <utility>

#include "library/SqliteConnection.h"
#include "library/TrackStoreFile.h"
#include "library/TrackStoreSchema.h"

namespace spinlorex {
namespace {

const char* const kGetTags =
    "SELECT size, mtime, readable, artist, title, album, genre, comment, key, year, seconds, bpm"
    " FROM track_tags WHERE path = ?1";
constexpr size_t kBatch = 256;  // files per turn (and per transaction)

// The store file's track_tags table, read through a connection of the cache's own thread.
// The file may not be there yet (the store's thread makes it): each batch tries again.
class TagTable {
public:
    explicit TagTable(std::string folder) : folder_(std::move(folder)) {}

    // The row of `path` when its size and time are those given; false otherwise.
    bool get(const std::string& path, int64_t size, int64_t mtime,
             std::shared_ptr<const TrackTags>& out) {
        if (!ready()) return false;
        get_.bindText(1, path);
        bool hit = false;
        if (get_.step() == SQLITE_ROW && get_.integer(0) == size && get_.integer(1) == mtime) {
            hit = true;
            if (get_.integer(2) == 0) {
                out = nullptr;
            } else {
                auto tags = std::make_shared<TrackTags>();
                tags->artist = get_.text(3);
                tags->title = get_.text(4);
                tags->album = get_.text(5);
                tags->genre = get_.text(6);
                tags->comment = get_.text(7);
                tags->key = get_.text(8);
                tags->year = static_cast<int32_t>(get_.integer(9));
                tags->seconds = static_cast<int32_t>(get_.integer(10));
                tags->bpm = static_cast<float>(get_.real(11));
                out = std::move(tags);
            }
        }
        get_.reset();
        return hit;
    }

private:
    bool ready() {
        if (get_.valid() || folder_.empty()) return get_.valid();
        const std::string path = folder_ + "/" + TrackStoreFile::kFileName;
        if (db_.open(path, SQLITE_OPEN_READONLY) != SQLITE_OK) return false;
        db_.setBusyTimeout(2000);
        get_ = db_.prepare(kGetTags);
        if (!get_.valid()) db_.close();  // no table yet
        return get_.valid();
    }

    std::string folder_;
    SqliteConnection db_;
    SqliteStatement get_;  // after db_: finalized first
};

}  // namespace

TagCache::~TagCache() { close(); }

void TagCache::open(const std::string& folder, TrackStore::TagWriter writer, Listener* listener) {
    close();
    shared_ = std::make_shared<Shared>();
    shared_->listener = listener;
    thread_ = LeavableThread(
        [shared = shared_, folder, writer = std::move(writer)] { run(shared, folder, writer); });
}

void TagCache::request(const std::vector<std::string>& paths) {
    if (!shared_) return;
    {
        const std::lock_guard lock(shared_->mutex);
        for (const std::string& path : paths)
            if (asked_.try_emplace(path, true).second) shared_->waiting.push_back(path);
    }
    shared_->wake.notify_one();
}

void TagCache::dropRequests() {
    if (!shared_) return;
    const std::lock_guard lock(shared_->mutex);
    for (const std::string& path : shared_->waiting) asked_.erase(path);
    shared_->waiting.clear();
}

std::vector<TagCache::Found> TagCache::take() {
    std::vector<Found> found;
    if (!shared_) return found;
    {
        const std::lock_guard lock(shared_->mutex);
        found.swap(shared_->found);
    }
    for (const Found& f : found) known_.insert_or_assign(f.path, f.tags);
    return found;
}

std::shared_ptr<const TrackTags> TagCache::tags(std::string_view path) const {
    const auto at = known_.find(path);
    return at == known_.end() ? nullptr : at->second;
}

void TagCache::forget(std::string_view path) {
    if (const auto at = known_.find(path); at != known_.end()) known_.erase(at);
    if (const auto at = asked_.find(path); at != asked_.end()) asked_.erase(at);
}

void TagCache::flush() {
    if (!shared_) return;
    Shared& s = *shared_;
    std::unique_lock lock(s.mutex);
    s.idle.wait(lock, [&s] { return s.waiting.empty() && !s.working; });
}

void TagCache::close() {
    if (!shared_) return;
    {
        const std::lock_guard lock(shared_->mutex);
        shared_->listener = nullptr;
        shared_->stop = true;
        shared_->waiting.clear();
    }
    shared_->wake.notify_one();
    thread_.joinWithin(std::chrono::milliseconds(2000));
    shared_.reset();
    known_.clear();
    asked_.clear();
}

TagsByPath readCachedTags(const std::string& folder) {
    TagsByPath all;
    SqliteConnection db;
    const std::string path = folder + "/" + TrackStoreFile::kFileName;
    if (db.open(path, SQLITE_OPEN_READONLY) != SQLITE_OK) return all;
    SqliteStatement rows = db.prepare(
        "SELECT path, artist, title, album, genre, comment, key, year, seconds, bpm"
        " FROM track_tags WHERE readable = 1");
    if (!rows.valid()) return all;
    while (rows.step() == SQLITE_ROW) {
        TrackTags& tags = all[std::string(rows.text(0))];
        tags.artist = rows.text(1);
        tags.title = rows.text(2);
        tags.album = rows.text(3);
        tags.genre = rows.text(4);
        tags.comment = rows.text(5);
        tags.key = rows.text(6);
        tags.year = static_cast<int32_t>(rows.integer(7));
        tags.seconds = static_cast<int32_t>(rows.integer(8));
        tags.bpm = static_cast<float>(rows.real(9));
    }
    return all;
}

uint64_t TagCache::filesRead() const {
    if (!shared_) return 0;
    const std::lock_guard lock(shared_->mutex);
    return shared_->filesRead;
}

void TagCache::run(const std::shared_ptr<Shared>& shared, const std::string& folder,
                   const TrackStore::TagWriter& writer) {
    Shared& s = *shared;
    TagTable table(folder);
    // What the store knows already answers at once (the search finds by it); files asked
    // for are still checked against their size and time.
    std::vector<Found> found;
    for (auto& [path, tags] : folder.empty() ? TagsByPath{} : readCachedTags(folder))
        found.push_back({path, std::make_shared<const TrackTags>(std::move(tags))});
    std::vector<std::string> batch;
    std::unique_lock lock(s.mutex);
    if (!found.empty()) {
        for (Found& f : found) s.found.push_back(std::move(f));
        if (s.listener != nullptr) s.listener->tagsReady();
    }
    for (;;) {
        s.wake.wait(lock, [&s] { return s.stop || !s.waiting.empty(); });
        if (s.stop) return;
        batch.clear();
        while (!s.waiting.empty() && batch.size() < kBatch) {
            batch.push_back(std::move(s.waiting.front()));
            s.waiting.pop_front();
        }
        s.working = true;
        lock.unlock();

        found.clear();
        uint64_t read = 0;
        for (std::string& path : batch) {
            struct stat st {};
            std::shared_ptr<const TrackTags> tags;
            if (::stat(path.c_str(), &st) == 0) {
                const int64_t size = st.st_size;
                const int64_t mtime =
                    int64_t{st.st_mtim.tv_sec} * 1'000'000'000 + st.st_mtim.tv_nsec;
                if (!table.get(path, size, mtime, tags)) {
                    auto fresh = readTrackTags(path);
                    ++read;
                    if (fresh) tags = std::make_shared<const TrackTags>(std::move(*fresh));
                    writer.put({path, size, mtime, tags});
                }
            }
            found.push_back({std::move(path), std::move(tags)});
        }

        lock.lock();
        s.working = false;
        s.filesRead += read;
        for (Found& f : found) s.found.push_back(std::move(f));
        if (s.listener != nullptr) s.listener->tagsReady();
        if (s.waiting.empty()) s.idle.notify_all();
    }
}

}  // namespace spinlorex
