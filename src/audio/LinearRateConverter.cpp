#include "audio/LinearRateConverter.h"

#include <algorithm>
#include <cstring>
#include <numeric>

#include "audio/AudioFormat.h"

namespace spinlorex {
namespace {

// Room for one read of the source after the one frame kept from the previous one.
constexpr int32_t kBufferFrames = FrameSource::kMaxReadFrames + 1;

// One stereo frame.
using Frame = float __attribute__((vector_size(2 * sizeof(float))));

}  // namespace

LinearRateConverter::LinearRateConverter() = default;
LinearRateConverter::~LinearRateConverter() = default;

void LinearRateConverter::close() {
    source_ = nullptr;
    buffer_.reset();
    offsets_.reset();
    weights_.reset();
}

bool LinearRateConverter::open(FrameSource& source, int32_t rate) {
    close();
    if (rate <= 0) return false;
    const int64_t g = std::gcd(int64_t{rate}, int64_t{kSampleRate});
    ratioIn_ = rate / g;
    ratioOut_ = kSampleRate / g;
    // Output frame q x ratioOut + j lies at source time q x ratioIn + j x ratioIn / ratioOut:
    // the whole frames and fractions of one period serve for all.
    offsets_ = std::make_unique<int64_t[]>(static_cast<size_t>(ratioOut_));
    weights_ = std::make_unique<float[]>(static_cast<size_t>(ratioOut_));
    for (int64_t j = 0; j < ratioOut_; ++j) {
        offsets_[static_cast<size_t>(j)] = j * ratioIn_ / ratioOut_;
        weights_[static_cast<size_t>(j)] = static_cast<float>(
            static_cast<double>(j * ratioIn_ % ratioOut_) / static_cast<double>(ratioOut_));
    }
    buffer_ = std::make_unique<float[]>(static_cast<size_t>(kBufferFrames) * 2);
    source_ = &source;
    if (!restartAt(0)) {
        close();
        return false;
    }
    return true;
}

bool LinearRateConverter::restartAt(int64_t frame) {
    if (source_ == nullptr || frame < 0) return false;
    periodStart_ = frame / ratioOut_ * ratioIn_;
    inPeriod_ = frame % ratioOut_;
    const int64_t left = periodStart_ + offsets_[static_cast<size_t>(inPeriod_)];
    bufferStart_ = left;
    buffered_ = 0;
    sourceEnd_ = -1;
    failed_ = false;
    return source_->seekFrames(left);
}

void LinearRateConverter::fill(int64_t left) {
    float* buf = buffer_.get();
    for (;;) {
        // Drop what lies before left; what remains (at most one frame, or it would not be
        // called) moves to the front.
        const int64_t drop = std::min<int64_t>(left - bufferStart_, buffered_);
        if (drop > 0) {
            buffered_ -= static_cast<int32_t>(drop);
            std::memmove(buf, buf + 2 * drop, static_cast<size_t>(buffered_) * 2 * sizeof(float));
            bufferStart_ += drop;
        }
        if (bufferStart_ + buffered_ >= left + 2) return;
        // Steps of several frames (rates above 88.2 kHz) read through the frames between.
        float* at = buf + 2 * buffered_;
        int32_t got = 0;
        if (sourceEnd_ < 0 && !failed_) {
            got = source_->readFrames(at, FrameSource::kMaxReadFrames);
            if (got == 0) sourceEnd_ = bufferStart_ + buffered_;
            if (got < 0) failed_ = true;
        }
        if (got <= 0) {
            // Silence after the end and in place of data in error.
            got = 1;
            at[0] = at[1] = 0.0f;
        }
        buffered_ += got;
    }
}

bool LinearRateConverter::read(float* dest, int32_t frames) {
    if (source_ == nullptr) return false;
    const int64_t* offsets = offsets_.get();
    const float* weights = weights_.get();
    int64_t periodStart = periodStart_, inPeriod = inPeriod_;
    for (int32_t n = 0; n < frames;) {
        // The rest of the period, or of the request, when the buffer holds all it needs:
        // one tight loop. Otherwise one frame, reading on first.
        const int64_t until = inPeriod + std::min<int64_t>(ratioOut_ - inPeriod, frames - n);
        const int64_t from = periodStart - bufferStart_;
        int64_t count = 1;
        if (from + offsets[inPeriod] >= 0 && from + offsets[until - 1] + 2 <= buffered_) {
            count = until - inPeriod;
        } else if (periodStart + offsets[inPeriod] + 2 > bufferStart_ + buffered_) {
            fill(periodStart + offsets[inPeriod]);
        }
        const float* buf = buffer_.get();
        const int64_t base = 2 * (periodStart - bufferStart_);  // may be below 0
        float* out = dest + 2 * n;
        for (int64_t j = inPeriod; j < inPeriod + count; ++j, out += 2) {
            // Both channels at once (GCC and Clang make one vector operation of it).
            Frame a, b;
            std::memcpy(&a, buf + (base + 2 * offsets[j]), sizeof a);
            std::memcpy(&b, buf + (base + 2 * offsets[j] + 2), sizeof b);
            const Frame mixed = a + (b - a) * weights[j];
            std::memcpy(out, &mixed, sizeof mixed);
        }
        n += static_cast<int32_t>(count);
        inPeriod += count;
        if (inPeriod == ratioOut_) {
            inPeriod = 0;
            periodStart += ratioIn_;
        }
    }
    periodStart_ = periodStart;
    inPeriod_ = inPeriod;
    return !failed_;
}

}  // namespace spinlorex
