#pragma once

#include <cstdint>
#include <vector>

namespace spinlorex {

// The level of a decoded track in hops of 16 frames (0.36 ms at 44100 Hz): the mean of
// |left + right| / 2 over each hop, kept for the whole track so the beat grid can be
// fitted afterwards without decoding again. Costs 2 bytes a hop (5.5 KB a second).
class OnsetEnvelope {
public:
    static constexpr int32_t kHopFrames = 16;

    void clear();
    // Room for the levels of `frames` frames, so a whole track's are not moved as they grow.
    void reserve(int64_t frames);
    // Interleaved stereo frames in decoding order; any count (the rest of a hop waits for
    // the next call).
    void feed(const int16_t* frames, int32_t count);

    // One value per whole hop fed so far: 0..32768.
    const std::vector<uint16_t>& levels() const { return levels_; }

private:
    std::vector<uint16_t> levels_;
    int32_t partialSum_ = 0;  // sum of |l + r| over the frames of the unfinished hop
    int32_t partialFrames_ = 0;
};

}  // namespace spinlorex
