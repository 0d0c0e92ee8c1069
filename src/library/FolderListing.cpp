#include "library/FolderListing.h"

#include <algorithm>
#include <filesystem>
#include <system_error>

#include <sys/stat.h>

#include "library/AudioFileTypes.h"
#include "library/TrackRecord.h"
#include "platform/core/AsciiText.h"

namespace spinlorex {

namespace fs = std::filesystem;

namespace {

bool hidden(const fs::path& name) {
    const std::string& text = name.native();
    return !text.empty() && text.front() == '.';
}

// Sorts by name without regard to ASCII case. Each name is folded once: comparing folded
// copies is many times faster than folding characters in every comparison.
template <class T, class Name>
void sortByName(std::vector<T>& items, Name name) {
    std::vector<std::pair<std::string, size_t>> keys;
    keys.reserve(items.size());
    for (size_t i = 0; i < items.size(); ++i) {
        keys.emplace_back(ascii::toLower(name(items[i])), i);
    }
    std::ranges::sort(keys);
    std::vector<T> sorted;
    sorted.reserve(items.size());
    for (auto& key : keys) sorted.push_back(std::move(items[key.second]));
    items = std::move(sorted);
}

// A directory entry that is a folder, following a link.
bool isFolder(const fs::directory_entry& entry) {
    std::error_code error;
    return entry.is_directory(error);
}

}  // namespace

std::vector<FolderItem> listFolderFiles(const std::string& folder) {
    std::vector<FolderItem> items;
    std::error_code error;
    for (fs::directory_iterator it(folder, fs::directory_options::skip_permission_denied, error),
         end;
         !error && it != end; it.increment(error)) {
        const fs::directory_entry& entry = *it;
        if (hidden(entry.path().filename())) continue;
        std::error_code ignored;
        std::string target = entry.path().string();
        if (entry.is_symlink(ignored)) {
            // A shortcut: its target replaces the path; one that leads nowhere is skipped.
            target = fs::canonical(entry.path(), ignored).string();
            if (ignored) continue;
        }
        // Names first: most files of a music folder are tracks, the others cost no look at
        // the disk.
        const bool playlist = isPlaylistFileName(target);
        if (!playlist && !isTrackFileName(target)) continue;
        struct stat info {};
        if (::stat(target.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) continue;
        items.push_back({entry.path().filename().string(), std::move(target),
                         trackSizeKey(static_cast<uint64_t>(info.st_size)), playlist});
    }
    sortByName(items, [](const FolderItem& item) { return item.displayName; });
    return items;
}

std::vector<SubFolder> listSubFolders(const std::string& folder) {
    std::vector<SubFolder> folders;
    std::error_code error;
    for (fs::directory_iterator it(folder, fs::directory_options::skip_permission_denied, error),
         end;
         !error && it != end; it.increment(error)) {
        if (hidden(it->path().filename()) || !isFolder(*it)) continue;
        folders.push_back({it->path().filename().string(), it->path().string()});
    }
    sortByName(folders, [](const SubFolder& sub) { return sub.name; });
    return folders;
}

bool hasSubFolders(const std::string& folder) {
    std::error_code error;
    for (fs::directory_iterator it(folder, fs::directory_options::skip_permission_denied, error),
         end;
         !error && it != end; it.increment(error)) {
        if (!hidden(it->path().filename()) && isFolder(*it)) return true;
    }
    return false;
}

std::string initialFolderPath(const std::optional<std::vector<uint8_t>>& stored,
                              const std::string& homeFolder, const std::string& fallback) {
    if (!stored || stored->empty()) return fallback;
    const std::vector<uint8_t>& bytes = *stored;
    if (bytes.size() >= 4 &&
        std::all_of(bytes.begin(), bytes.begin() + 4, [](uint8_t b) { return b == 0xFF; }))
        return homeFolder;
    std::string path(bytes.begin(), bytes.end());
    // Stored with or without a terminating zero.
    path.erase(std::find(path.begin(), path.end(), '\0'), path.end());
    return path.empty() ? fallback : path;
}

std::vector<uint8_t> storedInitialFolder(const std::string& path) {
    return {path.begin(), path.end()};
}

}  // namespace spinlorex
