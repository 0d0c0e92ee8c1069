#pragma once

#include <string>
#include <string_view>

namespace spinlorex {

// Artist and title from a track's file name, as every library list shows them:
// underscores read as spaces, leading spaces and a final ".mp3" (any case) dropped; then
// "(Artist) Title", or "Artist - Title" split at the first "-", or the whole name as the
// title with no artist. Spaces at the end of the title are kept.
//
// Any thread: it keeps nothing.
void splitArtistTitle(std::string_view name, std::string& artist, std::string& title);

}  // namespace spinlorex
