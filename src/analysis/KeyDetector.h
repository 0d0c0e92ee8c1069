#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <vector>

class GetKeyMode;

namespace spinlorex {

// The musical key of a whole track, from libqm-dsp's key estimator (a chromagram matched
// against major and minor key profiles, frame by frame), fed the blocks of the whole-track
// pass. Each frame votes for one key; the key with most votes is the track's.
//
// The estimator keeps its key profiles in static arrays that every frame rotates in place,
// so two frames estimated at once on different threads read each other's rotation: every
// frame of every detector in the process goes through one lock.
//
// One detector per track; any thread but the sound thread (it allocates and computes).
class KeyDetector {
public:
    KeyDetector();
    ~KeyDetector();
    KeyDetector(const KeyDetector&) = delete;
    KeyDetector& operator=(const KeyDetector&) = delete;

    // `frames` stereo 16-bit frames at 44100 Hz.
    void feed(const int16_t* frames, int32_t count);
    // The key code (library/MusicalKey.h): 0 when no frame was estimated (a track shorter
    // than one frame, silence), else 1..12 major, 13..24 minor.
    int key() const;
    // How many frames voted for each key code (index 0: none).
    const std::array<int64_t, 25>& votes() const { return votes_; }

private:
    // The estimator's input runs at a quarter of the deck's rate: its chromagram reads only
    // a few octaves around middle C, and the estimator's own decimation then costs a
    // quarter.
    static constexpr int kReduce = 1;
    // One frame estimated in every kStride hops: a track's key holds for minutes, and each
    // frame costs the estimator its whole block (decimated and transformed anew). Past the
    // first kDenseEstimates (about a minute and a half), one in every kSparseStride: a long
    // track's later minutes add votes for the key it already has.
    static constexpr size_t kStride = 2;
    static constexpr size_t kSparseStride = 4;
    static constexpr size_t kDenseEstimates = 64;

    std::unique_ptr<GetKeyMode> estimator_;
    std::vector<double> frame_;  // the estimator's block, filled up to `filled_`
    size_t filled_ = 0;
    size_t hop_ = 0;
    size_t skip_ = 0;   // samples left out before the next frame
    double sum_ = 0.0;  // the samples being reduced to one
    int summed_ = 0;
    std::array<int64_t, 25> votes_{};
    double hopEnergy_ = 0.0;
    size_t estimates_ = 0;  // of the samples since the last estimate
};

}  // namespace spinlorex
