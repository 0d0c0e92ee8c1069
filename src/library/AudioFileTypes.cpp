#include "library/AudioFileTypes.h"

#include "platform/core/AsciiText.h"

namespace spinlorex {

bool hasExtension(std::string_view path, std::string_view extension) {
    // Longer than the extension: a name is needed before it.
    return path.size() > extension.size() && ascii::endsWithNoCase(path, extension);
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
