#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "library/FolderListing.h"
#include "library/views/FolderReads.h"

namespace spinlorex {

// Reads folders for the files list off the main thread, so that a slow disk never holds
// up the desk: the main thread asks, and gets the folder's items back through its event
// loop. Only the newest request counts: older ones not started are dropped, and answers
// that arrive after a newer request are ignored. A read stuck on a hung disk does not
// keep the next request from its answer, nor the loader's end from returning.
//
// Main thread only; the callback runs on the main thread.
class FolderLoader {
public:
    using Done = std::function<void(std::vector<FolderItem> items)>;
    // Lists a folder; runs on a read's thread and may outlive the loader.
    using Lister = std::function<std::vector<FolderItem>(const std::string& folder)>;

    explicit FolderLoader(Done done, Lister list = listFolderFiles);
    // Waits a short while for a read under way, then leaves it behind.
    ~FolderLoader() = default;
    FolderLoader(const FolderLoader&) = delete;
    FolderLoader& operator=(const FolderLoader&) = delete;

    void request(const std::string& folder);
    // The request under way is forgotten: its answer will be ignored.
    void drop() { awaited_.reset(); }
    // A request has not been answered yet.
    bool pending() const { return awaited_.has_value(); }

private:
    void deliver(uint64_t read, std::vector<FolderItem> items);

    Done done_;
    Lister list_;
    std::optional<uint64_t> awaited_;  // the read whose answer the list waits for
    FolderReads<std::vector<FolderItem>> reads_;
};

}  // namespace spinlorex
