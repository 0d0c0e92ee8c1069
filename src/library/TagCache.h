#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "library/TrackStore.h"
#include "library/TrackTags.h"
#include "platform/core/LeavableThread.h"

namespace spinlorex {

// The tags of the library's files, read on a thread of its own and kept in the track store
// file (its track_tags table, TrackStoreSchema) with each file's size and modification
// time: a file asked for again is answered from the file's row while both are unchanged,
// and read again through TagLib once either changed. The cache reads the file through a
// connection of its own; what it read anew is written by the store's thread (its
// TagWriter), the file's only writer. The lists ask for the files they show
// and fill their rows as the tags come (take()); nothing here waits for the disk on the
// caller's thread.
//
// Without a usable store (none given, a folder that cannot be written, a damaged file) the
// tags are still read, only not kept for the next run.
//
// Main thread only, but for the listener.
class TagCache {
public:
    class Listener {
    public:
        virtual ~Listener() = default;
        // The cache's thread: tags wait to be taken. Must not block nor call the cache.
        virtual void tagsReady() = 0;
    };

    // Tags of one file, as take() hands them; null `tags` for a file that could not be
    // read (gone, of no kind TagLib reads).
    struct Found {
        std::string path;
        std::shared_ptr<const TrackTags> tags;
    };

    TagCache() = default;
    ~TagCache();
    TagCache(const TagCache&) = delete;
    TagCache& operator=(const TagCache&) = delete;

    // Starts the thread, which reads the store file in `folder` (empty: none) and hands
    // what it reads anew to `writer` (the store's, open on the same folder).
    void open(const std::string& folder, TrackStore::TagWriter writer = {},
              Listener* listener = nullptr);

    // Queues the files whose tags are wanted, after those queued before. Files already
    // known in this run are not read again (forget() first to read them anew).
    void request(const std::vector<std::string>& paths);
    // Drops what waits to be read (a new folder replaced the one asked for).
    void dropRequests();
    // The tags read since the last take, in the order they came; each also joins tags().
    std::vector<Found> take();
    // The tags known of `path` in this run (null: not yet, or none).
    std::shared_ptr<const TrackTags> tags(std::string_view path) const;
    // Reads the file's tags again at its next request (a file that changed under the desk).
    void forget(std::string_view path);

    // Waits until every request is answered. Tests and tools.
    void flush();
    void close();

    // Files read through TagLib (not answered from the store) since the open. Any thread.
    uint64_t filesRead() const;

private:
    struct Shared {
        mutable std::mutex mutex;
        std::condition_variable wake;
        std::condition_variable idle;
        Listener* listener = nullptr;
        std::deque<std::string> waiting;
        std::vector<Found> found;
        bool working = false;
        bool stop = false;
        uint64_t filesRead = 0;
    };
    static void run(const std::shared_ptr<Shared>& shared, const std::string& folder,
                    const TrackStore::TagWriter& writer);

    struct Hash {
        using is_transparent = void;
        size_t operator()(std::string_view s) const { return std::hash<std::string_view>{}(s); }
    };
    std::shared_ptr<Shared> shared_;
    LeavableThread thread_;
    std::unordered_map<std::string, std::shared_ptr<const TrackTags>, Hash, std::equal_to<>> known_;
    std::unordered_map<std::string, bool, Hash, std::equal_to<>> asked_;
};

// Every file's tags the store file in `folder` keeps, by path, as last read (whether the
// file changed since is not asked): what the search and the tools know without reading a
// file. Empty without a readable store. Any thread; takes as long as the disk.
using TagsByPath = std::unordered_map<std::string, TrackTags>;
TagsByPath readCachedTags(const std::string& folder);

}  // namespace spinlorex
