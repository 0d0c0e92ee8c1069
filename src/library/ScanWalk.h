#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>
#include <string_view>
#include <unordered_set>

namespace spinlorex {

class SearchFileWriter;

// Which files a scan records (any case): ".mp3", ".wav", the tracks read through
// libsndfile (".flac", ".ogg", ".oga", ".opus"), or any mix of them.
enum ScanMask : int {
    kScanMp3 = 1,
    kScanWav = 2,
    kScanBoth = 3,
    kScanSndfile = 4,
    kScanAllTracks = 7
};

// What a walk tells while it goes, and how it is told to stop. Called on the walking
// thread.
class ScanObserver {
public:
    virtual ~ScanObserver() = default;
    virtual void enteringFolder(std::string_view /*folder*/) {}
    // A file was written; `count` files so far in this scan.
    virtual void fileWritten(std::string_view /*name*/, uint64_t /*count*/) {}
    // Asked after every file and folder: true ends the walk there.
    virtual bool stopRequested() = 0;
    // Asked once the walk has ended: true throws the scan away (the new file is removed,
    // the old one stays exactly as it was). An observer that asks this asks to stop too.
    virtual bool abandonRequested() { return false; }
};

// The observer of a scan on a worker thread, read by the window that shows it: the
// current folder, the count, and how the scan is to end.
class ScanProgress : public ScanObserver {
public:
    void enteringFolder(std::string_view folder) override;
    void fileWritten(std::string_view name, uint64_t count) override;
    bool stopRequested() override { return ending() != kRunning; }
    bool abandonRequested() override { return ending() == kAbandon; }

    // Any thread. Stop keeps what the walk found; abandon throws the scan away, also
    // after a stop that has not ended the walk yet (a stop never undoes an abandon).
    void requestStop() {
        int running = kRunning;
        ending_.compare_exchange_strong(running, kStop, std::memory_order_relaxed);
    }
    void requestAbandon() { ending_.store(kAbandon, std::memory_order_relaxed); }
    std::string folder() const;
    uint64_t count() const { return count_.load(std::memory_order_relaxed); }

private:
    // One value, so that a walker never sees a stop without the abandon that came with it.
    enum Ending : int { kRunning, kStop, kAbandon };
    int ending() const { return ending_.load(std::memory_order_relaxed); }

    mutable std::mutex mutex_;
    std::string folder_;
    std::atomic<uint64_t> count_{0};
    std::atomic<int> ending_{kRunning};
};

// Rules that keep a walk on its own drive.
struct WalkLimits {
    // Roots of the other drives: a folder that is one of them belongs to that drive and
    // is not entered (a mount point of the same file system as its parent, a bind mount).
    std::unordered_set<std::string> otherRoots;
};

// Records the track files under `root` (the root of a drive or disc), each as one line:
// `prefix`, the file's path from the root (beginning with "/"), "," and its size, CR LF.
// Within a folder its files come first, then its sub-folders, each by name (byte order).
// The walk stays on the root's file system, never follows symbolic links (a link is
// neither a file nor a folder to it), leaves out hidden entries (names beginning with
// ".") and names holding CR or LF (a line cannot carry them). A file whose size cannot
// be had is written without size. Returns the number of files written; `count` goes on
// from `countBefore` (several roots in one scan).
//
// Any one thread.
uint64_t scanFolder(const std::string& root, std::string_view prefix, SearchFileWriter& out,
                    ScanObserver& observer, int mask, const WalkLimits& limits,
                    uint64_t countBefore = 0);

}  // namespace spinlorex
