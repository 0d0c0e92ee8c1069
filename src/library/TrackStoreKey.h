#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>

#include "library/BeatGrid.h"
#include "library/HotCues.h"

namespace spinlorex {

// What the track store knows a track by, as the internal database does: the file's name
// without folder (trackRecordName) and its size key (trackSizeKey).
struct TrackKey {
    std::string name;
    uint32_t fileSize = 0;
};

// A key looked up without copying its name.
struct TrackKeyView {
    std::string_view name;
    uint32_t fileSize = 0;
};

struct TrackKeyHash {
    using is_transparent = void;
    template <typename Key>
    size_t operator()(const Key& key) const noexcept {
        return std::hash<std::string_view>{}(key.name) ^
               (size_t{key.fileSize} * 0x9E3779B97F4A7C15ull);
    }
};

struct TrackKeyEqual {
    using is_transparent = void;
    template <typename A, typename B>
    bool operator()(const A& a, const B& b) const noexcept {
        return a.fileSize == b.fileSize && std::string_view(a.name) == std::string_view(b.name);
    }
};

template <typename Value>
using TrackKeyMap = std::unordered_map<TrackKey, Value, TrackKeyHash, TrackKeyEqual>;

// Every track's beat grid, shared with the records that show it.
using GridMap = TrackKeyMap<std::shared_ptr<const BeatGrid>>;
using HotCueMap = TrackKeyMap<std::shared_ptr<const HotCueSet>>;

}  // namespace spinlorex
