#pragma once

#include <array>
#include <atomic>
#include <cstdint>

#include "analysis/BeatKernels.h"
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
    static constexpr int32_t kLags = 1350;  // lags 1800 down to 451 steps
    static constexpr int32_t kHistory = 64;

    explicit BeatAnalyser(const DecodeTimeline& timeline);

    // A new track: resetSignal() plus forgetting the tempo history and the analysis block.
    void resetForTrack();
    // A seek: forget the signal (bass values, correlation, onsets, loudness window).
    void resetSignal();
    // One block of 1152 stereo frames (2304 samples), as it was written into the ring.
    void feedBlock(const int16_t* block);

    // The analysis block the results go to (null: only the signal is analysed).
    void setAnalysis(TrackAnalysis* analysis);
    TrackAnalysis* analysis() const { return analysis_.load(std::memory_order_relaxed); }
    // The attached block's peakLevel as of the last block fed, 0 without a block. Any
    // thread: readers that must not follow analysis() (the loading thread frees the old
    // block on a load) read this copy.
    int32_t peakLevel() const { return peakLevel_.load(std::memory_order_relaxed); }

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
    friend struct BeatAnalyserProbe;  // tests: inspect the correlation, force a kernel set

    void buildKernels();
    // The sequential part of one onset step at ring index q, given its 16 responses.
    void onsetStep(int32_t q, const int32_t* responses, int32_t slot, TrackAnalysis* analysis);
    void tempoStep(TrackAnalysis* analysis);
    void replaceHistoryEntry(float bpm, int32_t weight);
    // Greatest |correlation| among the lags lag-2 .. lag+2 that have an accumulator.
    int64_t strongestNear(int32_t lag) const;
    // Beats of the record's tempo in steps, 80 BPM when none is known.
    int32_t beatSteps() const;

    const DecodeTimeline& timeline_;
    const beat::Kernels* kernels_;
    std::atomic<TrackAnalysis*> analysis_{nullptr};
    std::atomic<int32_t> peakLevel_{0};  // analysis_->peakLevel as of the last block
    std::atomic<float> localBpm_{0.0f};
    std::atomic<float> blockBpm_{0.0f};
    std::atomic<int32_t> lastLoudness_{0};

    int32_t cursor_ = 0;     // bass ring write position, a multiple of 32 between blocks
    int32_t windowSum_ = 0;  // sum of |bass| over the current loudness window
    int32_t windowBlocks_ = 0;

    // Tempo history; support_[j] caches the weight of entry j plus that of every later
    // entry within 2 BPM of it, kept up to date as entries are replaced.
    std::array<float, kHistory> historyBpm_{};
    std::array<int32_t, kHistory> historyWeight_{};
    std::array<int64_t, kHistory> support_{};
    int32_t historyCursor_ = 0;
    float runningSum_ = 0.0f;
    int32_t runningCount_ = 1;

    int32_t selectedKernel_ = 0;
    int32_t bestKernel_ = 0;
    int32_t bestResponse_ = 0;
    int32_t stepCounter_ = 0;

    std::array<int32_t, kKernels> kernelLength_{};
    alignas(64) std::array<int16_t, kKernels * beat::kTapStride> taps_{};
    // Autocorrelation at lag 1800 - k; entries from kLags on are scratch for the vector code.
    alignas(64) std::array<int32_t, beat::kLagsPadded> correlation_{};
    alignas(64) std::array<int16_t, beat::kBassStorage> bass_{};
    std::array<std::atomic<int32_t>, kRingSteps> onsetRing_{};
};

}  // namespace spinlorex
