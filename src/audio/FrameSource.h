#pragma once

#include <cstdint>

namespace spinlorex {

// The frames a reader decodes, at the track's own rate, before they become the engine's
// blocks: stereo, float, in 16-bit scale (full scale is +-32768; louder values are clipped
// later). Both calls run on the sound thread and never allocate, lock or log.
class FrameSource {
public:
    // The most frames one readFrames call is asked for.
    static constexpr int32_t kMaxReadFrames = 2048;

    // Up to `frames` (1..kMaxReadFrames) frames at dest (2 floats each): the count, 0 at the
    // end of the data, -1 on an error in it.
    virtual int32_t readFrames(float* dest, int32_t frames) = 0;
    // The next read starts at frame `frame` (0 .. the stream's length). False when the data
    // there cannot be reached.
    virtual bool seekFrames(int64_t frame) = 0;

protected:
    ~FrameSource() = default;
};

}  // namespace spinlorex
