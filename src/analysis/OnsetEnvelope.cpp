#include "analysis/OnsetEnvelope.h"

#include <cstdlib>

namespace spinlorex {

void OnsetEnvelope::clear() {
    levels_.clear();
    partialSum_ = 0;
    partialFrames_ = 0;
}

void OnsetEnvelope::feed(const int16_t* frames, int32_t count) {
    int32_t i = 0;
    // Finish a hop begun by the last call.
    for (; partialFrames_ > 0 && i < count; ++i) {
        partialSum_ += std::abs(frames[2 * i] + frames[2 * i + 1]);
        if (++partialFrames_ == kHopFrames) {
            levels_.push_back(static_cast<uint16_t>(partialSum_ / (2 * kHopFrames)));
            partialSum_ = 0;
            partialFrames_ = 0;
        }
    }
    // Whole hops: at most 16 * 65536 per sum, well inside 32 bits.
    for (; i + kHopFrames <= count; i += kHopFrames) {
        int32_t sum = 0;
        for (int32_t j = i; j < i + kHopFrames; ++j) sum += std::abs(frames[2 * j] + frames[2 * j + 1]);
        levels_.push_back(static_cast<uint16_t>(sum / (2 * kHopFrames)));
    }
    for (; i < count; ++i) {
        partialSum_ += std::abs(frames[2 * i] + frames[2 * i + 1]);
        ++partialFrames_;
    }
}

}  // namespace spinlorex
