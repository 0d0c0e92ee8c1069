#pragma once

#include <cstdint>

// The two ways a deck turns decoded audio into pitched audio, as pure functions over
// interleaved stereo 16-bit buffers. Integer arithmetic only; sound thread; no allocation.

namespace spinlorex {

// Frames one render pass produces (70 ms).
inline constexpr int32_t kRenderFrames = 3088;
// Frames of the master-tempo cross-fade and of the tail kept between passes.
inline constexpr int32_t kCrossfadeFrames = 512;

// Frames of source the varispeed interpolation reads before and after the frame it stands on.
inline constexpr int32_t kVarispeedHistory = 7;
inline constexpr int32_t kVarispeedLookahead = 8;

// Varispeed: resamples by the pitch. Output frame k lies at source position j + phase/4096,
// where j starts at 0 and, like the 12-bit fractional `phase`, advances by pitch/4096 per
// frame; it is interpolated there by a 16-tap windowed sinc (Kaiser window, fixed-point
// taps for each of the 4096 phases). Returns the source frames consumed (j after the last
// step), exactly as many as a hold of the nearest earlier frame would. At phase 0 the
// output is the source frame itself, so pitch 4096 copies the source bit for bit.
// src must be readable from kVarispeedHistory frames before the start to
// kVarispeedLookahead frames after the last frame stood on.
int32_t renderVarispeed(const int16_t* src, int16_t* out, int32_t frames, int32_t pitch,
                        int32_t& phase);
// The same without the vector instructions (for the tests: both give the same bits).
int32_t renderVarispeedPortable(const int16_t* src, int16_t* out, int32_t frames, int32_t pitch,
                                int32_t& phase);

// Where, in samples (always even, 0..2246), the source best continues the tail: a coarse
// to fine search of 32 offsets scoring the parabolically windowed tail against the source.
int32_t findBestOverlap(const int16_t* tail, const int16_t* src);
// The same without the vector instructions (for the tests: both find the same offset).
int32_t findBestOverlapPortable(const int16_t* tail, const int16_t* src);

struct MasterTempoChunk {
    int32_t frames;    // frames written to out: 3088 - offset
    int32_t consumed;  // source frames to advance past
};

// Master tempo: cross-fades the previous pass's tail into the source at the best overlap
// (none at normal pitch), copies the source up to 3088 frames, keeps src[3088..3600) as the
// next tail and advances the 12-bit `phase` by frames x pitch. At pitch 4096 the output
// reproduces the source exactly once a tail from the source is present.
MasterTempoChunk renderMasterTempo(int16_t* tail, const int16_t* src, int16_t* out, int32_t pitch,
                                   int32_t& phase);

}  // namespace spinlorex
