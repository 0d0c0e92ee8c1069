#pragma once

#include <cstdint>

// The engine's fixed audio format: 44100 frames per second, a frame is one stereo pair of
// signed 16-bit samples (left first). Buffers are arrays of int16_t, two per frame.

namespace spinlorex {

inline constexpr int32_t kSampleRate = 44100;
inline constexpr int32_t kChannels = 2;
inline constexpr int32_t kBytesPerFrame = 4;
inline constexpr int32_t kBlockFrames = 1152;  // the unit of decoding
inline constexpr int32_t kBlockSamples = kBlockFrames * kChannels;
inline constexpr int32_t kStepFrames = 36;                             // the unit of beat analysis
inline constexpr int32_t kStepsPerBlock = kBlockFrames / kStepFrames;  // 32

// Pitch is a ratio in units of 1/4096.
inline constexpr int32_t kNormalPitch = 4096;
// Levels run 0..256.
inline constexpr int32_t kFullLevel = 256;

}  // namespace spinlorex
