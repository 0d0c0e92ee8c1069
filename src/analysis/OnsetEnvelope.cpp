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
    const int32_t hops = (count - i) / kHopFrames;
    const size_t first = levels_.size();
    levels_.resize(first + static_cast<size_t>(hops));
    uint16_t* out = levels_.data() + first;
    for (int32_t h = 0; h < hops; ++h, i += kHopFrames) {
        const int16_t* f = frames + 2 * i;
        int32_t sum = 0;
        for (int32_t j = 0; j < kHopFrames; ++j) sum += std::abs(f[2 * j] + f[2 * j + 1]);
        out[h] = static_cast<uint16_t>(sum / (2 * kHopFrames));
    }
    for (; i < count; ++i) {
        partialSum_ += std::abs(frames[2 * i] + frames[2 * i + 1]);
        ++partialFrames_;
    }
}

}  // namespace spinlorex
