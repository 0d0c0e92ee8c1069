#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>

namespace spinlorex {

// Copies `frames` stereo frames out of a ring of `ringFrames` frames starting at `from`
// (wrapping), or writes silence when `ring` is null. Sound thread helper; no allocation.
inline void copyFromRing(int16_t* dest, const int16_t* ring, int32_t ringFrames, int32_t from,
                         int32_t frames) {
    while (frames > 0) {
        const int32_t run = std::min(frames, ringFrames - from);
        if (ring != nullptr)
            std::memcpy(dest, ring + static_cast<size_t>(from) * 2, static_cast<size_t>(run) * 4);
        else
            std::memset(dest, 0, static_cast<size_t>(run) * 4);
        dest += static_cast<size_t>(run) * 2;
        frames -= run;
        from = 0;
    }
}

// (a - b) mod m, in 0..m-1.
inline int32_t ringDistance(int32_t a, int32_t b, int32_t m) {
    const int32_t d = (a - b) % m;
    return d < 0 ? d + m : d;
}

}  // namespace spinlorex
