#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace spinlorex {

// A track's hot cues: eight marks, each a frame of the track (44100 a second) and a colour.
struct HotCue {
    int64_t frame = -1;   // -1: not set
    uint32_t colour = 0;  // 0xRRGGBB

    bool set() const { return frame >= 0; }
    bool operator==(const HotCue&) const = default;
};

struct HotCueSet {
    static constexpr int kCount = 8;
    std::array<HotCue, kCount> cues{};

    bool empty() const {
        for (const HotCue& c : cues)
            if (c.set()) return false;
        return true;
    }
    bool operator==(const HotCueSet&) const = default;
};

// The colour a hot cue takes in its slot: eight that tell apart on a dark desk.
inline uint32_t hotCueColour(int slot) {
    static constexpr std::array<uint32_t, HotCueSet::kCount> kColours = {
        0xE53935, 0xFB8C00, 0xFDD835, 0x43A047, 0x00ACC1, 0x1E88E5, 0x8E24AA, 0xD81B60};
    return kColours[static_cast<size_t>(slot) % kColours.size()];
}

}  // namespace spinlorex
