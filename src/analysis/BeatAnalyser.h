#pragma once

#include <array>
#include <atomic>
#include <cstdint>

#include "analysis/DecodeTimeline.h"
#include "library/TrackRecord.h"

namespace spinlorex {

// Watches every decoded block of a deck and derives the tempo (per block, smoothed, and
// the track's BPM once estimates agree long enough), an onset strength for every
// 36-frame step of the decoded ring, and the strong-beat markers and loudness kept in the
// track's analysis block.
//
// feedBlock, resetSignal and resetForTrack run on the sound thread (resetForTrack also on
// the loading thread while the deck is closed); beatPhase, nearestBeat, localBpm and
// lastLoudness may be called from any thread.
class BeatAnalyser {
public:
    static constexpr int32_t kRingSteps = 8192;  // one entry per 36 frames of the decoded ring
    static constexpr int32_t kKernels = 16;
    static constexpr int32_t kMaxKernelLength = 128;
    static constexpr int32_t kLags = 1350;       // lags 1800 down to 451 steps
    static constexpr int32_t kHistory = 64;

    explicit BeatAnalyser(const DecodeTimeline& timeline);

    // A new track: resetSignal() plus forgetting the tempo history and the analysis block.
    void resetForTrack();
    // A seek: forget the signal (bass values, correlation, onsets, loudness window).
    void resetSignal();
    // One block of 1152 stereo frames (2304 samples), as it was written into the ring.
    void feedBlock(const int16_t* block);

    // The analysis block the results go to (null: only the signal is analysed).
    void setAnalysis(TrackAnalysis* analysis) { analysis_.store(analysis, std::memory_order_relaxed); }
    TrackAnalysis* analysis() const { return analysis_.load(std::memory_order_relaxed); }

    // Steps from the heard step to the strongest onset within the next beat.
    int32_t beatPhase() const;
    // Signed steps from the step `ref` steps after the heard one to the strongest
    // distance-weighted onset within one beat before or after it.
    int32_t nearestBeat(int32_t ref) const;

    float localBpm() const { return localBpm_.load(std::memory_order_relaxed); }
    float blockBpm() const { return blockBpm_.load(std::memory_order_relaxed); }
    int32_t lastLoudness() const { return lastLoudness_.load(std::memory_order_relaxed); }
    int32_t onsetAt(int32_t step) const {
        return onsetRing_[static_cast<uint32_t>(step) % kRingSteps].load(std::memory_order_relaxed);
    }
    // Length of the onset kernel i (for tests).
    int32_t kernelLength(int i) const { return kernelLength_[i]; }

private:
    const DecodeTimeline& timeline_;
    std::atomic<TrackAnalysis*> analysis_{nullptr};
    std::atomic<float> localBpm_{0.0f};
    std::atomic<float> blockBpm_{0.0f};
    std::atomic<int32_t> lastLoudness_{0};
    std::array<int32_t, kKernels> kernelLength_{};
    std::array<std::atomic<int32_t>, kRingSteps> onsetRing_{};
};

}  // namespace spinlorex
