#pragma once

#include <string>
#include <string_view>

namespace spinlorex {

// How the library names a track from its file name. Main thread or any: no state.

struct ArtistTitle {
    std::string artist;
    std::string title;
    bool operator==(const ArtistTitle&) const = default;
};

// "Some_Artist - Some Title.mp3" gives "Some Artist" and "Some Title"; "(DJ X) Track.mp3"
// gives "DJ X" and "Track"; a name with neither form is all title. Underscores read as
// spaces, leading spaces are skipped and an ".mp3" ending (any case) is cut; other
// endings stay part of the title.
ArtistTitle splitArtistTitle(std::string_view fileName);

// The text after the last "/" or "\" of a path (the whole text without either): playlists
// written on other systems use either separator.
std::string_view fileNameOf(std::string_view path);

}  // namespace spinlorex
