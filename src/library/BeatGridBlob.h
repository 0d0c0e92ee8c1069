#pragma once

#include <optional>
#include <span>
#include <vector>

#include "library/BeatGrid.h"

namespace spinlorex {

// A beat grid's sections as the track store keeps them in one blob: for each section in
// order, its start, first beat and beat length as little-endian IEEE doubles (24 bytes).
// No sections (a track without a steady beat) is an empty blob.
std::vector<unsigned char> encodeGridSections(const std::vector<GridSection>& sections);

// The sections of a blob; nothing when it is not one (a length that is not a whole number
// of sections, a time that is not finite, a beat length that is not positive).
std::optional<std::vector<GridSection>> decodeGridSections(std::span<const unsigned char> blob);

}  // namespace spinlorex
