#pragma once

#include <cstdint>

#include "library/WaveformSummary.h"

namespace spinlorex {

// Makes a track's waveform summary from its decoded audio, block by block, in the pass that
// reads the whole track anyway: the mono mix split into bass, middle and highs by three
// filters, each column keeping the loudest sample of each band. The columns are published
// to a live waveform (when given) as they are made, so the desk can draw them meanwhile.
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

private:
    // A second-order section in transposed direct form II.
    struct Biquad {
        float b0 = 1, b1 = 0, b2 = 0, a1 = 0, a2 = 0;
        float z1 = 0, z2 = 0;
        float run(float x) {
            const float y = b0 * x + z1;
            z1 = b1 * x - a1 * y + z2;
            z2 = b2 * x - a2 * y;
            return y;
        }
    };
    void closeColumn();

    WaveformSummary summary_;
    LiveWaveform* live_;
    Biquad low_, midHigh_, midLow_, high_;
    float peakLow_ = 0, peakMid_ = 0, peakHigh_ = 0;
    int32_t inColumn_ = 0;  // frames of the open column
};

}  // namespace spinlorex
