#pragma once

#include <cstdint>

namespace spinlorex {

// An effect that a deck runs on each chunk it renders. Owned by the deck once set.
class DspHook {
public:
    virtual ~DspHook() = default;
    // Sound thread: processes `frames` stereo 16-bit frames in place and returns how many
    // frames the buffer now holds. The buffer has room for twice `frames`.
    virtual int32_t modifySamples(int16_t* samples, int32_t frames) = 0;
};

}  // namespace spinlorex
