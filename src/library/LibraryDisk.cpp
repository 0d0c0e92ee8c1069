#include "library/LibraryDisk.h"

#include <sys/stat.h>

#include <memory>
#include <system_error>
#include <thread>
#include <utility>

#include "library/AudioFileTypes.h"
#include "library/FolderListing.h"
#include "library/SearchIndex.h"

namespace spinlorex {
namespace {

void addTrack(const std::string& path, FoundTracks& found) {
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0) {
        found.tracks.push_back({path, 0});  // not there (yet)
    } else if (S_ISREG(info.st_mode)) {
        found.tracks.push_back({path, trackSizeKey(static_cast<uint64_t>(info.st_size))});
    }
}

std::shared_ptr<SearchIndex> readSearchFile(const std::string& homeFolder) {
    auto index = std::make_shared<SearchIndex>(homeFolder);
    index->load();
    return index;
}

std::string m3uOf(const std::vector<std::string>& paths) {
    const FoundTracks found = findTracks(paths);
    std::vector<std::string> tracks;
    tracks.reserve(found.tracks.size());
    for (const PlaylistItem& item : found.tracks) tracks.push_back(item.path);
    return m3uText(tracks);
}

}  // namespace

FoundTracks findTracks(const std::vector<std::string>& paths) {
    FoundTracks found;
    for (const std::string& path : paths) {
        struct stat info {};
        if (::stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode)) {
            for (const FolderItem& item : listFolderFiles(path))
                if (!item.playlist) found.tracks.push_back({item.path, item.size});
        } else if (isPlaylistFileName(path)) {
            PlaylistRead read = readPlaylistItems(path);
            if (!read.error.empty()) found.errors.push_back(std::move(read.error));
            for (PlaylistItem& item : read.items) found.tracks.push_back(std::move(item));
        } else if (isTrackFileName(path)) {
            addTrack(path, found);
        }
    }
    return found;
}

void LibraryDiskAtOnce::find(std::vector<std::string> paths, Found done) {
    done(findTracks(paths));
}

void LibraryDiskAtOnce::write(std::string file, std::string text, Written done) {
    done(writeTextFile(file, text));
}

void LibraryDiskAtOnce::saveM3u(std::vector<std::string> paths, std::string file, Written done) {
    done(writeTextFile(file, m3uOf(paths)));
}

void LibraryDiskAtOnce::loadSearchFile(std::string homeFolder, SearchRead done) {
    done(readSearchFile(homeFolder));
}

void LibraryDiskOnThreads::run(std::function<std::function<void()>()> work) {
    auto shared = std::make_shared<std::function<std::function<void()>()>>(std::move(work));
    try {
        std::thread([post = post_, shared] { post((*shared)()); }).detach();
    } catch (const std::system_error&) {
        post_((*shared)());  // no thread to be had: done here rather than not at all
    }
}

void LibraryDiskOnThreads::find(std::vector<std::string> paths, Found done) {
    run([paths = std::move(paths), done = std::move(done)]() -> std::function<void()> {
        return [done, found = findTracks(paths)]() mutable { done(std::move(found)); };
    });
}

void LibraryDiskOnThreads::write(std::string file, std::string text, Written done) {
    run([file = std::move(file), text = std::move(text),
         done = std::move(done)]() -> std::function<void()> {
        return [done, ok = writeTextFile(file, text)] { done(ok); };
    });
}

void LibraryDiskOnThreads::saveM3u(std::vector<std::string> paths, std::string file, Written done) {
    run([paths = std::move(paths), file = std::move(file),
         done = std::move(done)]() -> std::function<void()> {
        return [done, ok = writeTextFile(file, m3uOf(paths))] { done(ok); };
    });
}

void LibraryDiskOnThreads::loadSearchFile(std::string homeFolder, SearchRead done) {
    run([homeFolder = std::move(homeFolder), done = std::move(done)]() -> std::function<void()> {
        return [done, index = readSearchFile(homeFolder)] { done(index); };
    });
}

}  // namespace spinlorex
