#include "analysis/KeyDetector.h"

#include <algorithm>
#include <mutex>

#include "dsp/keydetection/GetKeyMode.h"

namespace spinlorex {
namespace {

// The estimator's static key profiles (see the header): one frame at a time, process-wide.
std::mutex& estimatorLock() {
    static std::mutex lock;
    return lock;
}

constexpr int kSampleRate = 44100;
constexpr float kTuning = 440.0f;
// Frames of chroma averaged, and frames of keys taken the median of, per estimate: with a
// frame every kStride hops, about twenty hops of music each.
constexpr double kChromaAverage = 5.0;
constexpr double kMedianAverage = 5.0;
// The summed squares of a hop below which it counts as silence (about -90 dB).
constexpr double kSilentHop = 1e-9 * 4096;

}  // namespace

KeyDetector::KeyDetector() {
    const std::lock_guard lock(estimatorLock());
    estimator_ = std::make_unique<GetKeyMode>(kSampleRate / kReduce, kTuning, kChromaAverage,
                                              kMedianAverage);
    frame_.assign(estimator_->getBlockSize(), 0.0);
    hop_ = std::max<size_t>(1, estimator_->getHopSize());
}

KeyDetector::~KeyDetector() {
    const std::lock_guard lock(estimatorLock());
    estimator_.reset();
}

void KeyDetector::feed(const int16_t* frames, int32_t count) {
    for (int32_t i = 0; i < count; ++i) {
        sum_ += static_cast<double>(frames[2 * i]) + static_cast<double>(frames[2 * i + 1]);
        if (++summed_ < kReduce) continue;
        const double sample = sum_ * (1.0 / (2.0 * 32768.0 * kReduce));
        sum_ = 0.0;
        summed_ = 0;
        if (skip_ > 0) {
            --skip_;
            continue;
        }
        frame_[filled_++] = sample;
        hopEnergy_ += sample * sample;
        if (filled_ < frame_.size()) continue;
        int code = 0;
        {
            const std::lock_guard lock(estimatorLock());
            code = estimator_->process(frame_.data());
        }
        // Silence has no key: a hop without sound casts no vote.
        if (code >= 1 && code <= 24 && hopEnergy_ > kSilentHop) ++votes_[static_cast<size_t>(code)];
        hopEnergy_ = 0.0;
        // The next frame begins a stride of hops on: it overlaps this one, or follows a gap.
        const size_t advance = hop_ * (++estimates_ < kDenseEstimates ? kStride : kSparseStride);
        if (advance >= frame_.size()) {
            skip_ = advance - frame_.size();
            filled_ = 0;
        } else {
            std::copy(frame_.begin() + static_cast<std::ptrdiff_t>(advance), frame_.end(),
                      frame_.begin());
            filled_ = frame_.size() - advance;
        }
    }
}

int KeyDetector::key() const {
    int best = 0;
    for (int code = 1; code <= 24; ++code)
        if (votes_[static_cast<size_t>(code)] > votes_[static_cast<size_t>(best)]) best = code;
    return best;
}

}  // namespace spinlorex
