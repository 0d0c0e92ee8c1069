#pragma once

#include <array>
#include <cstdint>

#include "library/WaveformSummary.h"

namespace spinlorex {

// Makes a track's waveform summary from its decoded audio, block by block, in the pass that
// reads the whole track anyway, each column keeping the loudest sample of each band of the
// mono mix. A column is 10 ms or more, so only the highs are looked at every frame (the
// mix's second difference, a high-pass that needs no state but the last two frames, eight
// frames a step); the middle is filtered from sums of 16 frames (2756 a second: what lies
// above 1.4 kHz shows in it weaker) and the bass from sums of 32 (1378 a second). The columns are
// published to a live waveform (when given) as they are made, so the desk can draw them
// meanwhile.
//
// One thread at a time (the one running the whole-track pass); the live waveform may be
// read by any thread.
class WaveformBuilder {
public:
    // `expectedFrames`: about how long the track is (its columns' length follows from it).
    explicit WaveformBuilder(int64_t expectedFrames, LiveWaveform* live = nullptr);

    // `frames` stereo frames of 16-bit samples, interleaved, at 44100 Hz.
    void feed(const int16_t* stereo, int32_t frames);
    // The summary of everything fed (the last column may be short).
    WaveformSummary finish();

    // A second-order section in direct form I: each output waits on the one before through
    // a single multiply-add (the slower transposed form chains two).
    struct Biquad {
        float b0 = 1, b1 = 0, b2 = 0, a1 = 0, a2 = 0;
        float x1 = 0, x2 = 0, y1 = 0, y2 = 0;
        float run(float x) {
            const float y = (b0 * x + b1 * x1 + b2 * x2 - a2 * y2) - a1 * y1;
            x2 = x1;
            x1 = x;
            y2 = y1;
            y1 = y;
            return y;
        }
    };

private:
    static constexpr int32_t kGroup = 16;      // frames summed for the middle (a multiple of 8)
    static constexpr int32_t kBassGroups = 2;  // of those summed for the bass
    static constexpr int32_t kMaxSegment = 4096;

    // `n` frames, all in the open column.
    void segment(const int16_t* stereo, int32_t n);
    // The filters over `count` sums of kGroup frames.
    void filter(const float* sums, int32_t count);
    void closeColumn();

    WaveformSummary summary_;
    LiveWaveform* live_;
    Biquad mid_, bassA_, bassB_;
    int32_t groupSum_ = 0, groupFill_ = 0;  // the group being summed
    int32_t high1_ = 0, high2_ = 0;         // the last two frames of the highs' mix
    float bassSum_ = 0;                     // of up to kBassGroups sums (exact: far below 2^24)
    int32_t bassFill_ = 0;
    int32_t peakHigh_ = 0;  // of the highs' second difference
    float peakMid_ = 0, peakLow_ = 0;
    int32_t inColumn_ = 0;  // frames of the open column
};

}  // namespace spinlorex
