#pragma once

#include <cstdint>
#include <memory>
#include <vector>

namespace RubberBand {
class RubberBandStretcher;
}

namespace spinlorex {

// Master tempo and key shift in quality "High": Rubber Band's real-time stretcher (its
// finer engine with the short window, which keeps a tone's rest under -55 dB at +8 % and
// costs about what the longer window of the faster engine does). The stretcher and every
// buffer are made in the constructor; a pass then feeds it interleaved 16-bit source and
// takes stretched frames out without allocating or locking.
//
// Timing: after restart() the first frame taken is the stretch of the first frame fed
// (the stretcher's start pad is fed as silence and its start delay dropped), and every
// frame taken stands for `pitch / 4096` source frames, so the caller keeps the heard
// position exactly as for the standard method.
//
// Main thread for the constructor and destructor; the sound thread (or the caller's thread
// while no sound thread runs) for the rest.
class StudioStretch {
public:
    // Source frames one feed() takes at most.
    static constexpr int32_t kFeedFrames = 1024;
    // Semitones a deck's key may be shifted either way.
    static constexpr int32_t kMaxKeyShift = 6;

    StudioStretch();
    ~StudioStretch();
    StudioStretch(const StudioStretch&) = delete;
    StudioStretch& operator=(const StudioStretch&) = delete;

    // Starts afresh: `pitch` (4096 = normal speed) sets the speed; with `keepKey` the key
    // stays (master tempo), else it follows the speed as on a turntable; `keyShift`
    // semitones go on top.
    void restart(int32_t pitch, bool keepKey, int32_t keyShift);
    // Stretched frames ready to be taken.
    int32_t ready() const;
    // Feeds `frames` (at most kFeedFrames) interleaved stereo frames of source.
    void feed(const int16_t* source, int32_t frames);
    // Takes `frames` (at most ready()) stretched frames into `out`, interleaved stereo.
    void take(int16_t* out, int32_t frames);

private:
    std::unique_ptr<RubberBand::RubberBandStretcher> stretcher_;
    std::vector<float> in_[2];
    std::vector<float> out_[2];
    int32_t dropFrames_ = 0;  // of the start delay, still to be dropped
    int32_t pitch_ = 0;
    bool keepKey_ = true;
    int32_t keyShift_ = 0;
};

}  // namespace spinlorex
