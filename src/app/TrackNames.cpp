#include "app/TrackNames.h"

#include <filesystem>

namespace spinlorex {

TrackEntry trackEntryForFile(const std::string& path) {
    TrackEntry entry;
    entry.path = path;
    const std::string stem = std::filesystem::path(path).stem().string();
    const size_t dash = stem.find(" - ");
    if (dash == std::string::npos) {
        entry.title = stem;
    } else {
        entry.artist = stem.substr(0, dash);
        entry.title = stem.substr(dash + 3);
    }
    return entry;
}

}  // namespace spinlorex
