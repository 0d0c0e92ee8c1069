// Feeds arbitrary bytes to the playlist reader as a playlist file. Whatever they are, the
// read ends, a refusal gives a message and no rows, and every row is a track: a path that
// fits on a line, absolute and lexically normal, named as a track, a regular file keyed by
// its size or a missing one keyed 0. Saved as the desk saves a playlist and read again,
// the rows come back the same.

#include <stdlib.h>
#include <sys/stat.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "library/AudioFileTypes.h"
#include "library/PlaylistFile.h"
#include "library/TrackRecord.h"

using namespace spinlorex;

namespace {

bool isWellFormedRow(const PlaylistItem& item) {
    const std::string& path = item.path;
    if (path.empty() || !isTrackFileName(path)) return false;
    for (const char c : path) {
        const auto byte = static_cast<unsigned char>(c);
        if ((byte < 0x20 && byte != '\t') || byte == 0x7F) return false;
    }
    const bool windows = path.size() > 2 && path[1] == ':' && (path[2] == '\\' || path[2] == '/');
    if (windows || path.starts_with("\\\\")) return item.sizeKey == 0;
    if (path.front() != '/') return false;
    if (std::filesystem::path(path).lexically_normal().string() != path) return false;
    struct stat status {};
    if (::stat(path.c_str(), &status) != 0) return item.sizeKey == 0;
    return S_ISREG(status.st_mode) &&
           item.sizeKey == trackSizeKey(static_cast<uint64_t>(status.st_size));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string folder =
        (std::filesystem::temp_directory_path() / "spinlorex-fuzz-XXXXXX").string();
    if (mkdtemp(folder.data()) == nullptr) return 0;
    const std::string list = folder + "/list.m3u";
    {
        std::ofstream out(list, std::ios::binary);
        out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    }

    const PlaylistRead read = readPlaylistItems(list);
    if (!read.error.empty() && !read.items.empty()) __builtin_trap();
    std::vector<std::string> paths;
    for (const PlaylistItem& item : read.items) {
        if (!isWellFormedRow(item)) __builtin_trap();
        paths.push_back(item.path);
    }

    const std::string saved = folder + "/saved.m3u";
    if (!writeTextFile(saved, m3uText(paths))) __builtin_trap();
    const PlaylistRead again = readPlaylistItems(saved);
    if (!again.error.empty() || again.items != read.items) __builtin_trap();

    std::error_code ignored;
    std::filesystem::remove_all(folder, ignored);
    return 0;
}
