#pragma once

#include <algorithm>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

// Where the program looks for files it ships and the user adds (plug-ins, controller
// mappings): the folders that exist among a list of candidates, and the files of one.
// Any thread: they only look at the disk.

namespace spinlorex {

// The folder of the running program; empty when it cannot be told.
std::string runningProgramFolder();

// True when `inner` is `outer` or lies inside it (both made canonical).
bool isInsideFolder(const std::filesystem::path& inner, const std::filesystem::path& outer);

// The candidates that are folders (a link to one counts), in order, lexically normal, each
// folder once however it is named.
std::vector<std::string> existingFolders(const std::vector<std::filesystem::path>& candidates);

// The regular files (or links to one) of `folder` whose names `wanted` accepts, sorted;
// none when the folder cannot be read.
template <class Wanted>
std::vector<std::string> filesOfFolder(const std::string& folder, Wanted wanted) {
    std::vector<std::string> files;
    std::error_code error;
    for (std::filesystem::directory_iterator it(folder, error), end; !error && it != end;
         it.increment(error)) {
        if (wanted(std::string_view(it->path().filename().native())) && it->is_regular_file(error))
            files.push_back(it->path().string());
    }
    std::sort(files.begin(), files.end());
    return files;
}

}  // namespace spinlorex
