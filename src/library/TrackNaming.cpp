#include "library/TrackNaming.h"

#include "library/AudioFileTypes.h"
#include "platform/core/AsciiText.h"

namespace spinlorex {

namespace {
std::string_view trimLeft(std::string_view text) {
    const size_t first = text.find_first_not_of(' ');
    return first == std::string_view::npos ? std::string_view{} : text.substr(first);
}
std::string_view trimRight(std::string_view text) {
    const size_t last = text.find_last_not_of(' ');
    return last == std::string_view::npos ? std::string_view{} : text.substr(0, last + 1);
}
}  // namespace

ArtistTitle splitArtistTitle(std::string_view fileName) {
    std::string name(fileName);
    for (char& c : name)
        if (c == '_') c = ' ';
    std::string_view text = trimLeft(name);
    if (hasExtension(text, ".mp3")) text.remove_suffix(4);

    ArtistTitle result;
    if (!text.empty() && text.front() == '(') {
        const size_t close = text.find(')');
        result.artist = trimRight(
            trimLeft(text.substr(1, close == std::string_view::npos ? text.npos : close - 1)));
        if (close != std::string_view::npos) result.title = trimLeft(text.substr(close + 1));
    } else if (const size_t dash = text.find('-'); dash != std::string_view::npos) {
        result.artist = trimRight(text.substr(0, dash));
        result.title = trimLeft(text.substr(dash + 1));
    } else {
        result.title = text;
    }
    return result;
}

bool isWindowsPath(std::string_view path) {
    if (path.starts_with("\\\\")) return true;
    return path.size() > 2 && ascii::isLetter(path[0]) && path[1] == ':' &&
           (path[2] == '\\' || path[2] == '/');
}

std::string_view fileNameOf(std::string_view path) {
    const size_t separator = isWindowsPath(path) ? path.find_last_of("/\\") : path.rfind('/');
    return separator == std::string_view::npos ? path : path.substr(separator + 1);
}

}  // namespace spinlorex
