#pragma once

#include <array>
#include <atomic>
#include <cstdint>

namespace spinlorex {

// The part of a deck's decoded-ring state that the beat analyser reads: where each
// 1152-frame block of the ring came from, and which part of the ring is heard, written and
// still unfilled. The deck owns it and writes it on the sound thread; the beat queries
// read the atomics from other threads.
struct DecodeTimeline {
    static constexpr int32_t kRingFrames = 294912;  // 256 blocks of 1152 frames
    static constexpr int32_t kRingBlocks = 256;

    // Track position of each block before it was decoded; -1 for a silent block.
    // Sound thread only.
    std::array<float, kRingBlocks> blockPositions{};
    // The reader still delivers data.
    std::atomic<bool> decoding{false};
    // Ring index of the frame now being heard.
    std::atomic<int32_t> keepFrom{0};
    // Ring index where the next decoded block goes (a multiple of 1152).
    std::atomic<int32_t> decodeWrite{0};
    // Frames of the ring not yet decoded since the last seek.
    std::atomic<int32_t> unfilledFrames{kRingFrames};

    DecodeTimeline() { blockPositions.fill(-1.0f); }
};

}  // namespace spinlorex
