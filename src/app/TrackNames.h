#pragma once

#include <string>

#include "library/TrackRecord.h"

namespace spinlorex {

// The entry for a file named like "Artist - Title.mp3": artist and title from the name
// (the whole name without extension as the title when there is no " - "), and the path.
// The record is left for the deck to find by name and size.
TrackEntry trackEntryForFile(const std::string& path);

}  // namespace spinlorex
