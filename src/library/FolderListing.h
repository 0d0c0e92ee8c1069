#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace spinlorex {

// What the files browser reads from the disk. Symbolic links stand for shortcuts: a link
// to a file shows under the link's name with its target's path and size; a link to a
// folder is a folder. Names starting with "." are hidden, as file managers hide them.
//
// Any thread: plain file-system reads, no state.

// A file of a folder that the files list shows: a track or a playlist file.
struct FolderItem {
    std::string displayName;  // the name in the folder (the link's own name for a link)
    std::string path;         // the file's path (a link's target)
    uint32_t size = 0;        // the file's size as the database keys it (trackSizeKey)
    bool playlist = false;    // a playlist file rather than a track
};

// The tracks and playlist files of `folder`, in name order; other files, folders and
// links that lead nowhere are left out. Empty when the folder cannot be read.
std::vector<FolderItem> listFolderFiles(const std::string& folder);

// A folder of the tree.
struct SubFolder {
    std::string name;
    std::string path;
};

// The sub-folders of `folder` (links to folders included), sorted by name without regard
// to case; empty when it cannot be read.
std::vector<SubFolder> listSubFolders(const std::string& folder);

// Whether `folder` holds at least one sub-folder (stops at the first).
bool hasSubFolders(const std::string& folder);

// The files browser's home folder from the "Initial folder" setting (a path as UTF-8
// bytes): its first four bytes 0xFF mean "the Home folder" (`homeFolder`); without a
// setting, `fallback` (the user's music folder).
std::string initialFolderPath(const std::optional<std::vector<uint8_t>>& stored,
                              const std::string& homeFolder, const std::string& fallback);
// The setting's bytes for a folder.
std::vector<uint8_t> storedInitialFolder(const std::string& path);

}  // namespace spinlorex
