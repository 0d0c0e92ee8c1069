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

// Whether `path` was written on Windows, absolute there: "C:\...", "C:/..." or
// "\\server\..." (playlists made there hold such paths).
bool isWindowsPath(std::string_view path);

// The file's name in `path`: the text after its last separator (all of it without one,
// nothing after a separator at its end). "/" separates; "\" does too in a Windows path
// and is otherwise part of the name, as on Linux. A view into `path`.
std::string_view fileNameOf(std::string_view path);

}  // namespace spinlorex
