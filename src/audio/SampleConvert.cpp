#include "audio/SampleConvert.h"

#include <algorithm>
#include <cstring>

#include "audio/AudioFormat.h"

namespace spinlorex {

void expandMono(int16_t* buf, int32_t n) {
    // Backwards: frame i lands on samples 2i and 2i+1, never below sample i, so every mono
    // sample is read before anything overwrites it.
    for (int32_t i = n - 1; i >= 0; --i) {
        const int16_t s = buf[i];
        buf[2 * i] = s;
        buf[2 * i + 1] = s;
    }
}

void stretchTo1152(int16_t* buf, int32_t n, int32_t rate) {
    if (n <= 0) {
        std::memset(buf, 0, sizeof(int16_t) * kBlockSamples);
        return;
    }
    n = std::min(n, kBlockFrames);
    rate = std::clamp(rate, 0, kSampleRate);
    // Sample and hold from the last frame down. The input index trails the output index,
    // so the conversion runs in place. When a header promises more frames than the read
    // delivered, the index stops at the first frame instead of running off the buffer.
    int32_t acc = 0;
    int32_t j = n - 1;
    for (int32_t i = kBlockFrames - 1; i >= 0; --i) {
        acc += rate;
        buf[2 * i] = buf[2 * j];
        buf[2 * i + 1] = buf[2 * j + 1];
        if (acc >= kSampleRate) {
            acc -= kSampleRate;
            if (j > 0) --j;
        }
    }
}

void widen8(void* buf, int32_t n) {
    auto* bytes = static_cast<unsigned char*>(buf);
    auto* out = static_cast<int16_t*>(buf);
    // Backwards: sample i is written to bytes 2i..2i+1, at or above byte i.
    for (int32_t i = n - 1; i >= 0; --i) {
        const int32_t b = bytes[i];
        out[i] = static_cast<int16_t>((b - 128) * 256);
    }
}

}  // namespace spinlorex
