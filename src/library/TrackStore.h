#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "library/TrackStoreFile.h"
#include "library/TrackStoreKey.h"
#include "library/WaveformSummary.h"
#include "platform/core/LeavableThread.h"

namespace spinlorex {

struct TrackRecord;

// What Spinlorex keeps of a track beyond the internal database, in the track store file
// beside it (TrackStoreFile): for now each track's beat grid. The store's own thread opens
// the file and reads every grid, then writes what it is handed; the main thread never
// waits for the disk. Lookups answer from memory: the grids handed in, and once the
// thread has read the file (the listener hears of it) those of the file.
//
// A file that cannot be written (a folder without the right to, another Spinlorex that
// writes it) leaves the store in memory only: the grids handed in are kept until it
// closes, and notice() says so. A damaged file is set aside and a new one made.
//
// Main thread only, but for the listener and rowsWritten().
class TrackStore {
    struct Shared;

public:
    static constexpr std::chrono::milliseconds kCloseWait{2000};

    class Listener {
    public:
        virtual ~Listener() = default;
        // Store thread: the file has been read (or found unusable); takeLoaded() takes
        // what it gave. Must not block nor call the store; the Qt desk posts to the main
        // thread.
        virtual void storeLoaded() = 0;
        // Store thread: waveform summaries asked for have been looked up; takeWaveforms()
        // takes them. The same rules.
        virtual void waveformsRead() {}
    };

    // A waveform summary looked up in the file: null when none is stored.
    struct WaveformRead {
        TrackKey key;
        std::shared_ptr<const WaveformSummary> summary;
    };

    enum class State {
        Closed,      // not opened, or closed
        Opening,     // the store's thread opens and reads the file
        Stored,      // what is handed in reaches the file
        MemoryOnly,  // what is handed in is kept until the store closes
    };

    TrackStore() = default;
    // Closes (see close()).
    ~TrackStore();
    TrackStore(const TrackStore&) = delete;
    TrackStore& operator=(const TrackStore&) = delete;

    // Starts the store's thread, which opens (or makes) the file in `folder`, reads its
    // grids and tells `listener` (when given); returns at once.
    void open(const std::string& folder, Listener* listener = nullptr);

    // Takes over what the thread read, once it has: its grids join those handed in since
    // the open (which win), and state() and notice() say how the file is. True the first
    // time after the read, false before it and after.
    bool takeLoaded();

    State state() const { return state_; }
    // What the user should hear of the file, once taken: a damaged file set aside, or why
    // nothing reaches the file. Empty when all is well.
    const std::string& notice() const { return notice_; }
    // A damaged file was set aside and a new one made.
    bool rebuilt() const { return rebuilt_; }

    // The track's grid, null when none is known. From memory.
    std::shared_ptr<const BeatGrid> grid(std::string_view name, uint32_t fileSize) const;
    // Gives a record without a grid the one known for its track, and one without hot cues
    // those known, if any.
    void fill(TrackRecord& record) const;

    // Keeps `grid` as the grid of the track at `path` (keyed by its file name and
    // `fileSize`, as records are) and queues its write; a grid of the same track still
    // waiting is replaced by it. Never waits for the disk.
    void putGrid(std::string_view path, uint32_t fileSize, std::shared_ptr<const BeatGrid> grid);

    // Keeps `cues` as the hot cues of the track at `path` (the whole set: an empty one
    // clears them) and queues their write, as putGrid does.
    void putHotCues(std::string_view path, uint32_t fileSize,
                    std::shared_ptr<const HotCueSet> cues);
    // The track's hot cues, null when none are known. From memory.
    std::shared_ptr<const HotCueSet> hotCues(std::string_view name, uint32_t fileSize) const;

    // Keeps `summary` as the waveform summary of the track at `path` and queues its write,
    // as putGrid does. Summaries are not kept in memory: the records hold them.
    void putWaveform(std::string_view path, uint32_t fileSize,
                     std::shared_ptr<const WaveformSummary> summary);
    // Asks the store's thread for the stored summary of a track; the answer comes with
    // waveformsRead(), after the file is open. Never waits for the disk.
    void requestWaveform(std::string_view name, uint32_t fileSize);
    // The answers that came since the last call, in the order asked.
    std::vector<WaveformRead> takeWaveforms();

    // Hands files' tags to the store's thread from any thread (the tag cache's); a file's
    // tags still waiting are replaced by newer ones. Does nothing once the store it came
    // from has closed, or in a store that keeps nothing in its file.
    class TagWriter {
    public:
        TagWriter() = default;
        void put(TagsWrite tags) const;

    private:
        friend class TrackStore;
        std::weak_ptr<Shared> shared_;
    };
    // The writer of this store's tags (one that does nothing when the store is closed).
    TagWriter tagWriter() const;

    // Waits until the file is open and read and every grid handed in before is written
    // (or has failed), and every summary asked for looked up. Tests and tools.
    void flush();

    // Writes what waits and stops the thread, waiting at most `limit` for it; false when
    // the thread was left behind (the disk does not answer), its writes unfinished. Safe to
    // call twice.
    bool close(std::chrono::milliseconds limit = kCloseWait);

    // Grids written to the file since the open. Any thread.
    uint64_t rowsWritten() const;
    // Batches that could not be written since the open. Any thread.
    int failures() const;

private:
    struct Waiting {
        std::string path;
        std::shared_ptr<const BeatGrid> grid;
        std::shared_ptr<const WaveformSummary> waveform;
        std::shared_ptr<const HotCueSet> hotCues;
    };
    // Everything the thread touches: it lives as long as the store or its thread.
    struct Shared {
        mutable std::mutex mutex;
        std::condition_variable wake;  // something to write, or stop
        std::condition_variable idle;  // opened, and nothing waits or is being written
        Listener* listener = nullptr;  // null once closing
        TrackKeyMap<Waiting> waiting;
        std::unordered_map<std::string, TagsWrite> tagsWaiting;  // by path
        std::vector<TrackKey> reads;                             // summaries asked for
        std::vector<WaveformRead> readsDone;                     // and their answers, until taken
        bool opened = false;
        bool writing = false;
        bool stop = false;
        // What the open gave, until the main thread takes it.
        bool loaded = false;
        GridMap grids;
        HotCueMap hotCues;
        State state = State::Opening;
        std::string notice;
        bool rebuilt = false;
        int failures = 0;
        std::atomic<uint64_t> rows{0};
    };
    static void run(const std::shared_ptr<Shared>& shared, const std::string& folder);
    // Queues a write for the track: its path noted, `fill` sets what is written.
    void queue(TrackKey key, std::string_view path, const std::function<void(Waiting&)>& fill);

    std::shared_ptr<Shared> shared_;
    LeavableThread thread_;
    GridMap grids_;
    HotCueMap hotCues_;
    bool taken_ = false;
    State state_ = State::Closed;
    std::string notice_;
    bool rebuilt_ = false;
};

}  // namespace spinlorex
