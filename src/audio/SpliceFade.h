#pragma once

#include <array>
#include <cstdint>

namespace spinlorex {

namespace sound {
class SoundBuffer;
}

// Hides the seam where an output rewrites a device buffer from its write cursor with audio
// that does not continue what was queued there (a deck placed again on a second card):
// what was queued is kept, and the new audio fades in over it.
//
// Sound thread only; never allocates.
class SpliceFade {
public:
    static constexpr int32_t kFrames = 441;  // 10 ms

    // Before rewriting: keeps up to kFrames of the `queued` frames the buffer holds from `at`.
    void keep(sound::SoundBuffer& buffer, int32_t at, int32_t queued);
    // After rewriting `written` frames from `at`: fades them in over what was kept.
    void blend(sound::SoundBuffer& buffer, int32_t at, int32_t written);

private:
    std::array<int16_t, 2 * kFrames> old_{};
    int32_t kept_ = 0;
};

}  // namespace spinlorex
