#pragma once

#include <cstdint>

// The two ways a deck turns decoded audio into pitched audio, as pure functions over
// interleaved stereo 16-bit buffers. Integer arithmetic only; sound thread; no allocation.

namespace spinlorex {

// Frames one render pass produces (70 ms).
inline constexpr int32_t kRenderFrames = 3088;
// Frames of the master-tempo cross-fade and of the tail kept between passes.
inline constexpr int32_t kCrossfadeFrames = 512;

// Varispeed: resamples by sample-and-hold. For k = 0..frames-1 writes src[j] to out[k] and
// advances j by pitch/4096 through the 12-bit fractional `phase`. Returns the source frames
// consumed (j after the last step).
int32_t renderVarispeed(const int16_t* src, int16_t* out, int32_t frames, int32_t pitch,
                        int32_t& phase);

// Where, in samples (always even, 0..2246), the source best continues the tail: a coarse
// to fine search of 32 offsets scoring the parabolically windowed tail against the source.
int32_t findBestOverlap(const int16_t* tail, const int16_t* src);

struct MasterTempoChunk {
    int32_t frames;    // frames written to out: 3088 - offset
    int32_t consumed;  // source frames to advance past
};

// Master tempo: cross-fades the previous pass's tail into the source at the best overlap
// (none at normal pitch), copies the source up to 3088 frames, keeps src[3088..3600) as the
// next tail and advances the 12-bit `phase` by frames x pitch. At pitch 4096 the output
// reproduces the source exactly once a tail from the source is present.
MasterTempoChunk renderMasterTempo(int16_t* tail, const int16_t* src, int16_t* out,
                                   int32_t pitch, int32_t& phase);

}  // namespace spinlorex
