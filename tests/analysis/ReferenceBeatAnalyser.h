#pragma once

#include <array>
#include <cstdint>

#include "analysis/DecodeTimeline.h"
#include "library/TrackRecord.h"

namespace spinlorex::test {

// The beat analysis written the slow, obvious way: one step at a time, every ring index
// taken modulo 8192, the tempo history's support counted afresh each block. The real
// analyser must match it bit for bit.
class ReferenceBeatAnalyser {
public:
    explicit ReferenceBeatAnalyser(const DecodeTimeline& timeline);

    void resetForTrack();
    void resetSignal();
    void feedBlock(const int16_t* block);

    TrackAnalysis* analysis = nullptr;

    std::array<int16_t, 8192> bassRing{};
    int32_t cursor = 0;
    std::array<float, 64> historyBpm{};
    std::array<int32_t, 64> historyWeight{};
    int32_t historyCursor = 0;
    float runningSum = 0.0f;
    int32_t runningCount = 1;
    std::array<int32_t, 16> kernelLength{};
    std::array<std::array<int32_t, 128>, 16> taps{};
    int32_t selectedKernel = 0, bestKernel = 0, bestResponse = 0, stepCounter = 0;
    std::array<uint32_t, 1350> correlation{};
    float localBpm = 0.0f, blockBpm = 0.0f;
    int32_t windowSum = 0, lastLoudness = 0, windowBlocks = 0;
    std::array<int32_t, 8192> onsetRing{};

private:
    void onsetStep(int32_t q);
    void tempoStep();
    int64_t m(int32_t lag) const;

    const DecodeTimeline& timeline_;
};

}  // namespace spinlorex::test
