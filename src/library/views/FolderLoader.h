#pragma once

#include <QtCore/QObject>

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "library/FolderListing.h"

namespace spinlorex {

// Reads folders for the files list on a thread of its own, so that a slow disk never
// holds up the desk: the main thread asks, and gets the folder's items back through its
// event loop. Only the newest request counts: older ones still waiting are dropped, and
// results that arrive after a newer request are ignored.
//
// request(), pending() and the destructor: main thread. The callback runs on the main
// thread.
class FolderLoader {
public:
    using Done = std::function<void(std::vector<FolderItem> items)>;

    explicit FolderLoader(Done done);
    ~FolderLoader();  // waits for a read under way
    FolderLoader(const FolderLoader&) = delete;
    FolderLoader& operator=(const FolderLoader&) = delete;

    void request(const std::string& folder);
    // A request has not been answered yet.
    bool pending() const { return answered_ != asked_; }

private:
    void run();
    void deliver(uint64_t ticket, std::vector<FolderItem> items);

    Done done_;
    QObject context_;        // results reach the main thread through it; gone with the loader
    uint64_t asked_ = 0;     // main thread
    uint64_t answered_ = 0;  // main thread
    std::mutex mutex_;
    std::condition_variable wake_;
    std::optional<std::pair<uint64_t, std::string>> next_;  // guarded by mutex_
    bool stopping_ = false;                                 // guarded by mutex_
    std::thread thread_;
};

}  // namespace spinlorex
