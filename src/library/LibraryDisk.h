#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "library/PlaylistFile.h"

namespace spinlorex {

class SearchIndex;

// What dropped paths and playlist files name: the tracks, in order, and a sentence for each
// playlist file refused (too large, not text).
struct FoundTracks {
    std::vector<PlaylistItem> tracks;
    std::vector<std::string> errors;
};

// The tracks `paths` name: a folder its tracks in name order (not its playlist files), a
// playlist file its tracks, a track itself (also when missing: a disk not plugged in yet).
// Anything else is left out. Any thread; looks at the disk.
FoundTracks findTracks(const std::vector<std::string>& paths);

// How the music library has the disk read and written: at once on the calling thread
// (spinlorex-tool, tests), or on threads of their own so the desk never waits on a disk
// (LibraryDiskOnThreads). Each answer runs on the library's (main) thread, at once or later.
class LibraryDisk {
public:
    using Found = std::function<void(FoundTracks)>;
    using Written = std::function<void(bool)>;
    using SearchRead = std::function<void(std::shared_ptr<SearchIndex>)>;

    virtual ~LibraryDisk() = default;
    // The tracks `paths` name (findTracks).
    virtual void find(std::vector<std::string> paths, Found done) = 0;
    // Writes `text` as the whole file (writeTextFile): true when it is in place.
    virtual void write(std::string file, std::string text, Written done) = 0;
    // Writes the tracks `paths` name (playlist files expanded) as an M3U file.
    virtual void saveM3u(std::vector<std::string> paths, std::string file, Written done) = 0;
    // The search file of `homeFolder`, read (SearchIndex::load).
    virtual void loadSearchFile(std::string homeFolder, SearchRead done) = 0;
};

class LibraryDiskAtOnce : public LibraryDisk {
public:
    void find(std::vector<std::string> paths, Found done) override;
    void write(std::string file, std::string text, Written done) override;
    void saveM3u(std::vector<std::string> paths, std::string file, Written done) override;
    void loadSearchFile(std::string homeFolder, SearchRead done) override;
};

// Every request on a thread of its own; `post` carries the answer to the main thread and
// drops it once the main thread's side is gone (a thread stuck on a hung disk may answer
// after the desk closed, or never). Requests' answers may arrive in any order.
class LibraryDiskOnThreads : public LibraryDisk {
public:
    using Post = std::function<void(std::function<void()>)>;
    explicit LibraryDiskOnThreads(Post post) : post_(std::move(post)) {}

    void find(std::vector<std::string> paths, Found done) override;
    void write(std::string file, std::string text, Written done) override;
    void saveM3u(std::vector<std::string> paths, std::string file, Written done) override;
    void loadSearchFile(std::string homeFolder, SearchRead done) override;

private:
    void run(std::function<std::function<void()>()> work);
    Post post_;
};

}  // namespace spinlorex
