#include "library/AudioFileTypes.h"

namespace spinlorex {

namespace {
char lowerAscii(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }
}  // namespace

bool hasExtension(std::string_view path, std::string_view extension) {
    if (path.size() <= extension.size()) return false;
    const std::string_view tail = path.substr(path.size() - extension.size());
    for (size_t i = 0; i < extension.size(); ++i)
        if (lowerAscii(tail[i]) != lowerAscii(extension[i])) return false;
    return true;
}

bool isTrackFileName(std::string_view path) {
    return hasExtension(path, ".mp3") || isWavFileName(path) || isSndfileFileName(path);
}

bool isWavFileName(std::string_view path) { return hasExtension(path, ".wav"); }

bool isSndfileFileName(std::string_view path) {
    return hasExtension(path, ".flac") || hasExtension(path, ".ogg") ||
           hasExtension(path, ".oga") || hasExtension(path, ".opus");
}

bool isPlaylistFileName(std::string_view path) {
    return hasExtension(path, ".m3u") || hasExtension(path, ".m3u8") || hasExtension(path, ".pls");
}

}  // namespace spinlorex
