#pragma once

#include <cstdint>

// In-place conversions that turn what a file holds into the engine's 16-bit stereo frames.

namespace spinlorex {

// n mono samples at the start of buf become n stereo frames (each sample copied to left
// and right), working backwards so it runs in place. buf must hold 2n samples.
void expandMono(int16_t* buf, int32_t n);

// n frames at the start of buf, recorded at `rate` (below 44100), become 1152 frames in
// place by sample and hold. buf must hold 1152 frames.
void stretchTo1152(int16_t* buf, int32_t n, int32_t rate);

// n unsigned 8-bit samples at the start of buf become n signed 16-bit samples
// ((b - 128) << 8), working backwards so it runs in place. buf must hold 2n bytes.
void widen8(void* buf, int32_t n);

}  // namespace spinlorex
