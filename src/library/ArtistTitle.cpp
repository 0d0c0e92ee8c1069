#include "library/ArtistTitle.h"

#include <algorithm>

#include "library/AudioFileTypes.h"

namespace spinlorex {
namespace {

std::string_view trimLeft(std::string_view text) {
    const size_t first = text.find_first_not_of(' ');
    return first == std::string_view::npos ? std::string_view() : text.substr(first);
}

std::string_view trimRight(std::string_view text) {
    const size_t last = text.find_last_not_of(' ');
    return last == std::string_view::npos ? std::string_view() : text.substr(0, last + 1);
}

}  // namespace

void splitArtistTitle(std::string_view name, std::string& artist, std::string& title) {
    std::string copy(name);
    std::replace(copy.begin(), copy.end(), '_', ' ');
    std::string_view text = trimLeft(copy);
    if (text.size() > 4 && hasExtension(text, ".mp3")) text.remove_suffix(4);

    if (text.starts_with('(')) {
        const size_t close = text.find(')');
        artist = trimRight(trimLeft(text.substr(1, close == std::string_view::npos ? text.npos : close - 1)));
        title = close == std::string_view::npos ? std::string() : std::string(trimLeft(text.substr(close + 1)));
    } else if (const size_t dash = text.find('-'); dash != std::string_view::npos) {
        artist = trimRight(text.substr(0, dash));
        title = trimLeft(text.substr(dash + 1));
    } else {
        artist.clear();
        title = text;
    }
}

}  // namespace spinlorex
